// PstnSlot: layer 2 of one signalling link in a 64 kbit/s time slot of a trunk, on an HDLC
// channel of the multichannel controller that the slot owns and places on the peer trunk
// channel slot's switch channel when the two are connected. The layer is the only one of the
// slot's family: SS7::SLC for SS7 links (mode 0), ISDN::LAPD for primary-rate links (mode 1) and
// basic-rate user sides (mode 2), ISDN::LAPD_NT for basic-rate network sides (mode 3), whose
// frames the slot carries between the layer and the channel itself; none for `cas`. Layer-3
// messages travel to and from the controller as userData.
//
// The slot's connection priority (1) makes it drive the hardware connections with its peer.
// A receiver connection places the channel and, except on basic rate, activates it; basic rate
// needs the transmitter connection as well, in either order, and there the channel transmits to
// one line: a transmitter connection to another line than a sink's is refused. Outside basic
// rate the transmitter connection and its disconnection switch nothing. The receiver
// disconnection, and on basic rate
// the transmitter disconnection, close the channel, idling its paths both ways, and give up the
// time slot: they fail only when the switch refuses to idle one of the paths. An activation
// reopens the channel, on the time slots of the connections the slot still has (on none after
// its disconnection, as before its first connection), and starts the layer from idle, except
// that activate on a layer already at work leaves the channel as it is and only passes the
// activation to the layer. An activation where a path that a later connection made now feeds
// the time slot, or where another slot's HDLC channel transmits, is answered with a deactivated
// signal and changes nothing. Every 3000 ms the slot reports
// the channel's counters (hdlcLinkInfo), the SS7 link's (ss7LinkInfo) and, when they changed,
// the LAPD's (isdnLinkInfo); the LAPD's congestion goes up as isdnLinkStatus. An E1 trunk
// status other than normal for the slot's trunk takes an SS7 link to idle.
//
// A userData command the layer cannot carry is answered with an error, for the reason the layer
// itself gives (SS7::SLC::refusal, ISDN::LAPD_NT::refusal): an MSU outside 3 to 273 octets or
// while the SS7 link is out of service, an ISDN message while the channel is closed, a message
// to the basic-rate network side that no terminal would get.
#pragma once

#include <vector>

#include "base/timer_spec.h"
#include "hw/hdlc.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_nt.h"
#include "l2/ss7/slc.h"
#include "proto/protocol.h"
#include "slotbase/slot.h"

class PstnSlot : private Slot,
                 public ProtocolsFamily,
                 public ISDN::LAPD::Notify,
                 public HDLC::Notify {
 public:
  enum Mode { kSs7OrCas = 0, kPri = 1, kBriUser = 2, kBriNetwork = 3 };

  // Whether `params` name a line of the board: one of its E1 trunks, or of its BRI lines for
  // basic rate, counted from 1. Writes the error line when not, as `logs` allow.
  static bool TrunkInRange(const LGCP::PstnParams& params, LogThrottles& logs);
  // The header of the lines about the slots' parameters, the factory's refusals among them.
  static void PutLogHeader(std::ostream& os) { os << "pstn-slot: "; }

  explicit PstnSlot(const LGCP::PstnParams& params);
  ~PstnSlot() override;

  // The slot as the registry sees it.
  Slot& slot() { return *this; }

  const Protocol_name& name() const override { return name_; }

  void on_hdlc_receive(Packet& frame) override;
  void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
  void on_hdlc_ready() override;
  void on_activated(Protocol* p) override;
  void on_deactivated(Protocol* p, Protocol_status status) override;
  void on_message(Packet& p) override;
  // What the basic-rate network side sends goes to the channel.
  void transmit(Packet& p) override;
  void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override;

  void OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) override;
  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IUserData(const std::vector<char>& data) override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() override { return 1; }
  bool IHwConnectTransmitter(Slot& peer) override;
  bool IHwConnectReceiver(Slot& peer) override;
  bool IHwDisconnectTransmitter(Slot& peer) override;
  bool IHwDisconnectReceiver(Slot& peer) override;
  // The checks of the two connections above, which change nothing.
  bool IHwMayConnectTransmitter(Slot& peer) override;
  bool IHwMayConnectReceiver(Slot& peer) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "pstn"; }

  // Restarts the update timer and sends the HDLC, ISDN and SS7 reports.
  void OnUpdateTimer();

  static const TimerSpec::Spec<PstnSlot> TUpdatespec;

  HDLC hdlc;
  const Mode mode;
  // The trunk that trunkStatus signals name for this slot's link (`trunk` - 1).
  const unsigned trunk_index;
  SS7::SLC* const slc;
  ISDN::LAPD* const lapd;
  ISDN::LAPD_NT* const lapd_nt;
  ACP::TrunkState::NamedNumber last_trunk_state = ACP::TrunkState::unknown;
  // The refusals of a peer's trunk or time slot, which open with PutLogHeader as the factory's
  // do, not with the slot's header as its other lines: their counts are written under it when
  // the slot goes.
  LogThrottles paramLogs;

 private:
  // Opens the channel and starts the layer from idle; a deactivated signal when the channel
  // fails. False when the switch refused to wire the channel, or another slot's HDLC channel
  // transmits to the time slot (LinkSlot::ClaimLine): the connection that asked for it is not
  // made.
  bool activate_link();
  // A connection over `channel` (hdlc.tsA or hdlc.tsB) comes: `channel` becomes `line`, and,
  // unless the connection `waits` for the other way, the channel opens there. False, `channel`
  // as it was, when the connection is refused (activate_link).
  bool join_line(int& channel, int line, bool waits);
  // A connection over `channel` (hdlc.tsA or hdlc.tsB) goes: the layer stops, the channel
  // closes, idling its paths both ways, and gives up its time slot, and `channel` is unset, so
  // that an activation no longer reopens the channel there. False when the switch refused to
  // idle one of the paths.
  bool leave_line(int& channel);
  // The layer runs a procedure or carries traffic: an SS7 link out of idle, a LAPD outside the
  // TEI states in which it waits for establishment.
  bool layer_started() const;
  bool basic_rate() const { return mode == kBriUser || mode == kBriNetwork; }
  // Why the layer cannot carry `data` now, or null.
  const char* refusal(const std::vector<char>& data) const;
  void report_isdn();
  void report_ss7();

  Protocol_name_str name_{"PSTN"};
  HDLC::Notify* hdlc_notify_ = nullptr;
  TimerSpec::SpecTimer update_timer_;
};
