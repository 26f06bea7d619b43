// HDLC channels of the board's multichannel HDLC controller (/dev/mcc/ctl).
//
// GenericHDLC is the sending side that link protocols call. HDLC implements it on one channel of
// the controller bound to a trunk time slot: activate() allocates a controller channel, learns
// its switch channel and wires it both ways to the time slot through the TDM switch; then one
// write(2) sends one frame and one read(2) receives one (flags and CRC are the controller's).
// Received frames, a failed channel and room to send again reach the owner through
// HDLC::Notify. The owner writes the public fields before activate() and reads the counters.
//
// The event loop watches the channel's descriptor (`event`). A channel that hangs up or fails
// to read is deactivated and reported as a read error once; it never stays polled. A channel
// deactivated or destroyed gives its controller channel back, after idling the switch outputs
// that carry it and its own, so that the channel's next owner sends on no line and hears no
// line it did not connect. A re-activation that gets the same controller channel back feeds
// again the outputs that other slots had connected to it.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "base/event.h"
#include "proto/packet.h"

class HwMux;

class GenericHDLC {
 public:
  virtual ~GenericHDLC() = default;
  // Sends one frame; false when it was not taken (the caller waits for on_hdlc_ready).
  virtual bool hdlc_transmit(Packet& frame) = 0;
  // The channel has a descriptor.
  virtual bool is_open() const = 0;
  // The channel can take a frame now.
  virtual bool is_ready() const = 0;
};

class HDLC : public GenericHDLC {
 public:
  class Notify {
   public:
    struct Cause {
      enum Type { read_error = 0 };
    };
    virtual ~Notify() = default;
    // One received frame, without its check sequence.
    virtual void on_hdlc_receive(Packet& frame) = 0;
    // The channel failed and has been deactivated.
    virtual void on_hdlc_error(Cause::Type cause) = 0;
    // The channel can send again after it refused a frame.
    virtual void on_hdlc_ready() = 0;
  };

  // A channel wired through the process's switch (HwMux::instance()).
  HDLC();
  // A channel wired through `mux`.
  explicit HDLC(HwMux& mux);
  HDLC(const HDLC&) = delete;
  HDLC& operator=(const HDLC&) = delete;
  ~HDLC() override;

  // (Re)opens and wires the channel; the counters restart. Outputs that carried the channel
  // besides its own time slot carry it again when the controller hands the same channel back.
  // A channel that another owner had first idles the outputs that still carry it. False, with a
  // line on std::cerr, when the device cannot be opened or refuses the channel; false too, the
  // channel given back, when the switch refuses to idle or to wire it (switch_refused()).
  bool activate();
  // The last activate() failed because the switch refused a path of the channel.
  bool switch_refused() const { return switch_refused_; }
  // Idles every switch output that carries the controller channel, and the channel's own
  // output, then closes the channel. False when the switch refused to idle one of them; the
  // channel closes all the same.
  bool deactivate();
  // The owner's callbacks go nowhere from now on.
  void unbind();

  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return static_cast<bool>(event.fd()); }
  bool is_ready() const override { return ready; }

  // The loop's callback on the channel descriptor ("HDLC::OnEvent").
  void on_event(int fd, short revents);
  // Receives every frame waiting on the channel.
  void do_read();

  void PutHeader(std::ostream& os) const;

  // The last send did not block; set again when the descriptor becomes writable.
  bool ready = false;
  // Owner parameters the channel does not interpret; owners keep the trunk and the time slot
  // here, and the second is shown in the log header.
  uint32_t param_trunk = 0;
  uint32_t param_timeslot = 0;
  // The owner's log level for this channel.
  int log_level = 0;
  // The trunk time slot (switch channel) of the link, and the second one, used by type 2.
  int tsA = -1;
  int tsB = -1;
  // 0 signalling system No. 7, 1 primary rate D channel, 2 basic rate D channel.
  int type = 0;
  // The switch output the channel transmits to, as the parameters stand: tsB for type 2, tsA
  // otherwise; -1 for none.
  int transmit_channel() const { return type == 2 ? tsB : tsA; }
  // The counters of LGCP::HdlcLinkInfo, in its order. txOverflow is never incremented.
  uint32_t txSU = 0;
  uint32_t txDiscard = 0;
  uint32_t txError = 0;
  uint32_t txOverflow = 0;
  uint32_t rxSU = 0;
  Event event;
  // The trunk shown in traces.
  uint32_t trunk = 0;
  Notify* notify;

 private:
  // The channel failed with `error`: deactivate and tell the owner.
  void read_failed(int error);
  // The switch side of deactivate(): HwMux::Release of the controller channel; true when
  // there was none.
  bool release_channel();
  // The outputs that carry the open channel, besides the time slot activation wired it to.
  std::vector<int> others_fed() const;

  HwMux& mux_;
  // The switch channel of the open controller channel, and the time slot it transmits to; -1
  // while closed.
  int channel_ = -1;
  int transmits_to_ = -1;
  // Counts activations and deactivations, so that a callback that changed the channel ends
  // the handling of the old one.
  unsigned generation_ = 0;
  bool switch_refused_ = false;
};
