// Slot: the abstract termination that the controller addresses by an LGCP slot number (0 to
// 1023), the base of every slot kind.
//
// A slot is made by its factory (SlotFactory::NewSlot), owned by the registry (Slots) under its
// number and deleted by the registry only. None of its pointers owns its target:
//   - source: the slot this one receives from (null when none);
//   - sinks: the slots this one transmits to, sorted by address, without duplicates;
//   - factory: the factory that made it, which lists it until its release completes.
// The connection graph (slot_graph.h) keeps source and sinks consistent: S is in P's sinks
// exactly when S's source is P.
//
// Kinds override the hooks; the defaults are harmless (the hardware hooks switch TDM channels
// through HwMux). Kinds report what happens through the reporters, which build one LGCP::Signal
// each and send it under the slot's number through the registry.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <list>
#include <string>
#include <vector>

#include "asn1/modules/acp.h"
#include "asn1/modules/lemzgw.h"
#include "asn1/modules/lgcp.h"
#include "asn1/modules/term.h"
#include "base/log_throttles.h"
#include "hw/dsproc_receiver.h"
#include "hw/rtp_records.h"
#include "hw/tonec_receiver.h"

class SlotFactory;
class Slots;
struct DeviceValue;

class Slot {
 public:
  // The number of a slot the registry has not numbered.
  static constexpr unsigned no_number = ~0u;

  Slot() = default;
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  virtual ~Slot() = default;

  // Trunk and time slot of a slot on a line interface; -1 elsewhere.
  virtual int GetTrunk() { return -1; }
  virtual int GetTrunkTimeSlot() { return -1; }
  // A trunk status report, passed on by the factories that care.
  virtual void OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) {
    (void)trunk;
    (void)state;
  }
  // Runs right after the create command's success response.
  virtual void IAfterCreate() {}
  // A destroy has begun and the slot is disconnected. True: released now; false: the release
  // goes on and the kind calls on_release() when it is done.
  virtual bool IBeforeDestroy() { return true; }
  // Commands; false answers the command with error unsupported, or with the cause the kind
  // named through Slots::Refuse before it refused.
  virtual bool IActivate(const TERM::TermActivateParams& params) {
    (void)params;
    return false;
  }
  virtual bool IDeactivate() { return false; }
  virtual bool IUserData(const std::vector<char>& data) {
    (void)data;
    return false;
  }
  virtual bool Ioctl(const LGCP::IoctlParams& params) {
    (void)params;
    return false;
  }

  // Of two slots being connected, the one of higher priority runs the hardware hooks; with
  // equal priorities the sink connects and the source disconnects.
  virtual int GetConnectionPriority() { return 0; }
  virtual bool IHwConnectTransmitter(Slot& sink);
  virtual bool IHwConnectReceiver(Slot& source);
  virtual bool IHwDisconnectTransmitter(Slot& sink);
  virtual bool IHwDisconnectReceiver(Slot& source);
  // Whether the hardware hooks above would take the connection, asked before a sink's old path
  // goes to make room for it: a refusal here leaves that path and its slots as they are. The
  // hooks may still refuse (the device has the last word). A hardware connection of a pair that
  // the graph links already puts back the path that such a refused connection took away.
  virtual bool IHwMayConnectTransmitter(Slot& sink) {
    (void)sink;
    return true;
  }
  virtual bool IHwMayConnectReceiver(Slot& source) {
    (void)source;
    return true;
  }
  // Whether the slot can open its output (input) side; asked by the first connection that needs
  // it, before IOnOutputOpen (IOnInputOpen).
  virtual bool IOnOutputStream() { return false; }
  virtual bool IOnInputStream() { return false; }
  // The connection that opens the output (input) side, before it asks for its path (`made`
  // false) and once the path is made (true). The default reports the side open before the path.
  // A kind whose side does real work (a play, a recording) starts it, and reports the side open,
  // only on a made path: a connection refused on the way then leaves the kind as it was.
  virtual void IOnOutputOpen(bool made) {
    if (!made) OnChangeOutputStream(true);
  }
  virtual void IOnInputOpen(bool made) {
    if (!made) OnChangeInputStream(true);
  }
  // The last sink has gone; the source has gone.
  virtual void IOnOutputRelease() {}
  virtual void IOnInputRelease() {}
  // The TDM switch channels the slot transmits and receives on; -1 for none.
  virtual int IGetTransmitChannel() { return -1; }
  virtual int IGetReceiveChannel() { return -1; }
  // The kind's short name for log lines.
  virtual const char* GetName() const = 0;

  // "07:trunk": the number in at least two digits ("i1024" above 1023, "na" unnumbered), ":"
  // and the name.
  void Put(std::ostream& os) const;
  // The header that opens the slot's log lines (ext::header(this)): here Put and ": ". A kind
  // whose lines open otherwise says so here, so that the counts its refusalLogs still owe when
  // the registry deletes it are written under the same header.
  virtual void PutHeader(std::ostream& os) const;
  // True when the device's fields carry every value; else the command is refused with
  // invalidParams, one throttled refusal line under PutHeader, nothing sent (AllCarried).
  bool Carries(const std::vector<DeviceValue>& values);

  // Sends `s` under this slot's number through the registry (dropped while the registry
  // destroys the slots of a controller that has gone).
  void SendSignal(const LGCP::Signal& s);

  void OnTonecEvent(const LGCP::TonecEvent& e);
  void OnNumber(const std::string& text);
  void OnModem(const TERM::ModemProceeding& m);
  void OnModem(const TERM::ModemInformation& m);
  void OnActivated();
  void OnDeactivated();
  void OnAbort(int cause);
  void OnUserData(const std::vector<char>& data);
  // The receiver (transmitter) signal when the side opens or closes; nothing when it does not
  // change. Closing first disconnects the source (every sink).
  void OnChangeInputStream(bool open);
  void OnChangeOutputStream(bool open);
  void OnIoctlResponse(const LGCP::IoctlResponse& r);
  void OnRtpRadioEvent(const TERM::RtpRadioRequest& r);
  void OnVADEvent(const LGCP::VADEvent& e);
  void OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& p);
  void OnSDEvent(const LGCP::SDEvent& e);
  void OnRtpEvent(const LGCP::RtpEvent& e);

  // Driver events of the DSP receivers and the RTP engine, turned into signals; bad codes are
  // logged and dropped.
  void processTonecEvent(const Hardware::TonecReceiver::Params& p);
  void processToneGenEvent();
  void processToneFltEvent(const dsproc_tone_event* e);
  void processVADEvent(const Hardware::DSProcVADEvent& e);
  void processFlagsEvent(const dsproc_flags_event* e);
  void processBSSEvent(const dsproc_bss_event* e);
  void processSDEvent(const Hardware::DSProcSDEvent& e);
  void processRtpEvent(const rtp_event& e);

  // IBeforeDestroy(); when it is finished, the slot leaves its factory's list.
  bool BeforeDestroy();
  // The end of an asynchronous release: the slot leaves its factory and the registry deletes it.
  // Nothing unless a destroy has begun. The caller must not touch the slot afterwards.
  void on_release();

  // The graph's logical halves, called on the sink.
  void LogicalConnect(Slot& source);
  void LogicalDisconnect();

  unsigned number = no_number;
  std::list<Slot*> sinks;
  Slot* source = nullptr;
  SlotFactory* factory = nullptr;
  bool inputStream = false;
  bool outputStream = false;
  bool releasing = false;
  // The seq of a destroy command whose answer waits for on_release(); valid when `delayed`.
  unsigned delayedSeq = 0;
  bool delayed = false;
  // The log lines of the refusals (the reasons the slot gives for not carrying out a command),
  // which a controller can repeat at will, throttled per kind; the registry writes the counts
  // still owed, under PutHeader, when it deletes the slot.
  LogThrottles refusalLogs;
};

// Slot::Put as a stream inserter.
std::ostream& operator<<(std::ostream& os, const Slot& s);
