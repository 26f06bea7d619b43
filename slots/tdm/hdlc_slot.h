// HdlcSlot: short addressed packets between the controller and a device on a 64 kbit/s channel,
// framed by an HDLC channel of the multichannel controller.
//
// The slot has no channel of its own. Its connection priority (1) makes it drive every hardware
// connection with its peer: it runs its HDLC channel on the peer's switch channel, activating
// the channel on the connection's line and deactivating it as the connection that leads there
// goes (that disconnection fails when the switch refuses to idle a path). Its one channel
// serves every connection it keeps: a connection that leads to another line than those is
// refused, and a peer without a channel of its own gives it no line. A time
// slot carries one HDLC channel: a connection that would run this one where another slot's
// already transmits is refused (LinkSlot::ClaimLine), and so is an activation there. With the
// last connection to its time slot the slot gives it up: an activation then finds none.
//
// Package frame, both ways: the 16-bit address (big-endian), a sequence octet (bits 7 to 5 the
// sender's tx sequence modulo 8, bits 2 to 0 the sequence of the last frame it accepted), then
// the body. The hdlcPackages ioctl queues one frame per package in a ring of 120, a batch whole
// or not at all; received frames with the slot's address are collected and sent up as
// hdlcPackages ioctl signals, at once or, when the frame's octet 4 has its top bit set, within
// 100 ms; a signal never holds more packages than the controller's decoder takes
// (ASN1::MaximumArraySize) nor more octets than a TPKT frame carries. Every 3000 ms the slot reports the channel's counters as hdlcLinkInfo.
#pragma once

#include <cstdint>
#include <ostream>

#include "base/timer.h"
#include "base/timer_spec.h"
#include "hw/hdlc.h"
#include "proto/clean_queue.h"
#include "proto/packet.h"
#include "slotbase/slot.h"

class HdlcSlot : public Slot, public HDLC::Notify {
 public:
  static constexpr unsigned kRingSize = 120;
  // The package address, the first two octets of a frame.
  using Address = uint16_t;

  explicit HdlcSlot(const LGCP::HdlcParams& params);
  ~HdlcSlot() override;

  // Activates the HDLC channel on the switch channel it has; true whatever the outcome, which
  // reaches the controller as a deactivated signal on failure, also when a path of other slots
  // feeds that channel now (LinkSlot::PathFree).
  bool IActivate(const TERM::TermActivateParams& params) override;
  // Reports the link information at once; the channel stays as it is.
  bool IDeactivate() override;
  // hdlcPackages: the whole batch is queued (true) or none of it, the tx sequence unchanged:
  // a body too long for a frame is refused with invalidParams, a batch the ring has no room
  // for with insufficientResources (both logged), and so is every batch of a connected slot
  // whose channel is closed (its frames would go nowhere). False (unsupported) for every other
  // alternative.
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() override { return 1; }
  bool IHwConnectTransmitter(Slot& sink) override;
  bool IHwConnectReceiver(Slot& source) override;
  bool IHwDisconnectTransmitter(Slot& sink) override;
  bool IHwDisconnectReceiver(Slot& source) override;
  bool IHwMayConnectTransmitter(Slot& sink) override;
  bool IHwMayConnectReceiver(Slot& source) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "hdlc-slot"; }

  void on_hdlc_receive(Packet& frame) override;
  // Logged, and reported as deactivated: the channel has closed.
  void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
  // Sends from the ring while the channel takes frames.
  void on_hdlc_ready() override;

  // Keeps the package of a frame carrying the slot's address; sends the packages collected
  // first when the signal has no room left for it.
  void enqResponce(Packet& frame);
  // Sends the packages collected, if any, and starts a new list.
  void flushResponce();
  void OnUpdateTimer();
  void UpdateHDLC_Statistics();
  // Opens the HDLC channel on tsA, which the caller has claimed (LinkSlot::ClaimLine); a
  // deactivated signal when there is none or it fails.
  void iactivate();
  void PutHeader(std::ostream& os) const override;

  static const TimerSpec::Spec<HdlcSlot> TUpdatespec;

 private:
  // Runs the HDLC channel on `channel` (the peer's switch channel); false when another
  // connection of the slot (but the source's when `replacing_source`) leads to another line, or
  // the switch refused to wire it. `restoring`: the graph puts back the connection whose path a
  // refused reconnection took away; the channel reopens only if it was open there.
  bool connect(const char* operation, int channel, bool replacing_source, bool restoring);
  // The connection leading to `line` goes (the source's when `source_leaves`, else the one with
  // `sink_leaves`): the channel closes when it runs there; with the last connection to its time
  // slot the slot gives the time slot up. False when the switch refused to idle one of the
  // channel's paths.
  bool leave_line(int line, bool source_leaves, const Slot* sink_leaves);

  HDLC hdlc;
  const int trunk;
  const Address address;
  // The channel ran on the line of the connection that left last.
  bool left_open_ = false;
  uint8_t tx_sequence = 0;
  uint8_t rx_sequence = 0;
  LGCP::IoctlResponse response;
  // The encoded size of the packages collected, at most.
  unsigned response_octets_ = 0;
  TimerSpec::SpecTimer update_timer;
  Timer response_timer;
  CleanQueue<Packet, kRingSize> ring;
};
