// IsdnSlot: ISDN LAPD on a D channel that the slot reads and writes itself, one frame per call,
// through a driver descriptor: a channel of the multichannel HDLC controller allocated as a
// basic-rate or primary-rate D channel. The slot is the LAPD's HDLC device and its owner
// (a family of one layer); layer-3 messages travel to and from the controller as userData. The
// D channel's switch channel is the slot's, for TDM connections to a trunk channel slot.
//
// AtsQsigSlot is the same on a QSIG D channel of /dev/dsp-data, on which it also creates the
// link's bearer-channel slots (AtsQsigBSlot); when its destroy begins it removes from the driver
// the bearer channels whose slots still exist, then closes its descriptor.
//
// The descriptor is polled for writability at start and after every EAGAIN, else only for
// readability. End of file, POLLHUP or POLLERR on it releases it and takes the link down.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/fd.h"
#include "hw/hdlc.h"
#include "l2/isdn/lapd.h"
#include "proto/protocol.h"
#include "slotbase/slot.h"

class AtsQsigBSlot;

class IsdnSlot : public Slot,
                 public ProtocolsFamily,
                 public ISDN::LAPD::Notify,
                 public GenericHDLC {
 public:
  // Takes `lapd` as the family's only layer and polls a duplicate of `fd`, the D channel whose
  // switch channel is `channel`.
  IsdnSlot(const Fd& fd, ISDN::LAPD* lapd, int channel, const char* event_name = "IsdnSlot::OnEvent");
  ~IsdnSlot() override;

  const Protocol_name& name() const override { return name_; }

  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return static_cast<bool>(event.fd()); }
  bool is_ready() const override { return ready; }

  void on_activated(Protocol* p) override;
  void on_deactivated(Protocol* p, Protocol_status status) override;
  void on_message(Packet& p) override;
  // The LAPD sends through hdlc_transmit: nothing goes down the family.
  void transmit(Packet&) override {}
  void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}

  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IUserData(const std::vector<char>& data) override;
  bool Ioctl(const LGCP::IoctlParams&) override { return false; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel; }
  int IGetReceiveChannel() override { return channel; }
  const char* GetName() const override { return "MCC"; }

  // The loop's callback on the D channel.
  void OnEvent(int fd, short events);

  const int channel;
  Event event;
  ISDN::LAPD* const lapd;
  bool ready = false;

 protected:
  // The descriptor is gone: stop polling it and take the link down.
  void lost();

 private:
  Protocol_name_str name_{"ISDN/HDLC"};
  unsigned deactivations_ = 0;
};

class AtsQsigSlot : public IsdnSlot {
 public:
  AtsQsigSlot(const Fd& fd, ISDN::LAPD* lapd, int channel);
  // The bearer-channel slots made here lose their link to this one.
  ~AtsQsigSlot() override;

  bool IBeforeDestroy() override;
  const char* GetName() const override { return "ATS-QSIG"; }

  // A bearer-channel slot for `index` (0 to 2) on this link's driver; null, with a line on
  // std::cerr, when the driver refuses.
  AtsQsigBSlot* NewBChannel(unsigned index);

  // The bearer-channel slots made here that still exist.
  std::list<AtsQsigBSlot*> bchannels;
  // The driver's refusals of a bearer channel, which open with "ats-qsig: ", not with the
  // slot's header as its other lines: their counts are written under it when the slot goes.
  LogThrottles bchannelLogs;
};
