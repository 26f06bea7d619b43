#include "slots/tdm/isdn_slot.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "base/device.h"
#include "hw/dsp_data_records.h"
#include "slots/tdm/ats_qsig_b_slot.h"
#include "slots/tdm/link_slot.h"

namespace {

constexpr short kReadWrite = POLLIN | POLLOUT;
// The header of a signalling slot's refusals of a bearer channel.
constexpr const char* kBChannelHeader = "ats-qsig: ";

}  // namespace

IsdnSlot::IsdnSlot(const Fd& fd, ISDN::LAPD* lapd_, int channel_, const char* event_name)
    : channel(channel_), lapd(lapd_) {
  lapd->notify = this;
  lapd->hdlc = this;
  event.Bind(event_name, &IsdnSlot::OnEvent, this);
  event.Schedule(fd, kReadWrite);
  add_protocol_tail(lapd);
}

IsdnSlot::~IsdnSlot() {
  event.Release();
  // The family would delete the layer after this slot's GenericHDLC side is gone; the LAPD may
  // still reach its channel while it goes, so it goes first.
  delete lapd;
}

bool IsdnSlot::hdlc_transmit(Packet& frame) {
  if (frame.length() == 0) return true;
  if (!is_open()) return false;
  const _Packet* p = static_cast<const Packet&>(frame).get();
  for (;;) {
    if (::write(event.fd().get(), p->data, frame.length()) >= 0) return true;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      ready = false;
      event.set_events(kReadWrite);
    }
    return false;
  }
}

void IsdnSlot::OnEvent(int fd, short events) {
  if (events & POLLIN) {
    Packet p;
    p.reserve_head(0);
    const ssize_t n = ::read(fd, p->tail, p._tailroom());
    if (n > 0) {
      p.put(static_cast<unsigned>(n));
      receive(p);
      return;
    }
    if (n == 0) return lost();
  }
  if (events & (POLLERR | POLLHUP)) return lost();
  if ((events & POLLOUT) && !ready) {
    ready = true;
    event.set_events(POLLIN);
    lapd->on_hdlc_ready();
  }
}

void IsdnSlot::lost() {
  std::cerr << *this << ": D channel lost" << std::endl;
  event.Release();
  ready = false;
  const unsigned before = deactivations_;
  lapd->on_hdlc_error(HDLC::Notify::Cause::read_error);
  if (deactivations_ == before) OnDeactivated();
}

void IsdnSlot::on_activated(Protocol*) {
  LinkSlot::ReportIsdnLinkInfo(*this, *lapd);
  OnActivated();
}

void IsdnSlot::on_deactivated(Protocol*, Protocol_status) {
  ++deactivations_;
  LinkSlot::ReportIsdnLinkInfo(*this, *lapd);
  OnDeactivated();
}

void IsdnSlot::on_message(Packet& p) { OnUserData(LinkSlot::Octets(p)); }

bool IsdnSlot::IActivate(const TERM::TermActivateParams&) {
  // A lost D channel does not come back: the LAPD would try to establish on nothing.
  if (!is_open()) {
    OnDeactivated();
    return true;
  }
  activate();
  return true;
}

bool IsdnSlot::IDeactivate() {
  deactivate();
  return true;
}

bool IsdnSlot::IUserData(const std::vector<char>& data) {
  return LinkSlot::SendUserData(*this, *this, LinkSlot::LapdRefusal(*lapd, data.size()), data);
}

AtsQsigSlot::AtsQsigSlot(const Fd& fd, ISDN::LAPD* lapd_, int channel_)
    : IsdnSlot(fd, lapd_, channel_, "AtsQsigSlot::OnEvent") {}

AtsQsigSlot::~AtsQsigSlot() {
  for (AtsQsigBSlot* b : bchannels) b->signalling = nullptr;
  bchannelLogs.flush([](std::ostream& os) { os << kBChannelHeader; });
}

bool AtsQsigSlot::IBeforeDestroy() {
  // The bearer channels live on this descriptor: they leave the driver before it closes, as
  // their own slots may go later (the controller's disconnect destroys slots in creation order).
  while (!bchannels.empty()) bchannels.front()->RemoveChannel();
  event.Release();
  return true;
}

AtsQsigBSlot* AtsQsigSlot::NewBChannel(unsigned index) {
  dsp_data_bchannel record{static_cast<int32_t>(index), -1};
  if (!is_open() ||
      Device::ioctl(event.fd().get(), DspDataIoctl::kAddB, &record, sizeof record) < 0) {
    const char* kind = "add B channel fail !!!";
    bchannelLogs.write(std::cerr, kind, [&](std::ostream& os) { os << kBChannelHeader << kind; });
    return nullptr;
  }
  bchannels.push_back(new AtsQsigBSlot(*this, index, record.timeslot));
  return bchannels.back();
}
