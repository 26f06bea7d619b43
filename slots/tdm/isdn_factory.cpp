#include "slots/tdm/isdn_factory.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"
#include "base/fd.h"
#include "hw/dsp_data_records.h"
#include "hw/mcc_records.h"
#include "slots/tdm/ats_qsig_b_slot.h"
#include "slots/tdm/isdn_slot.h"
#include "slots/tdm/line_trunks.h"

namespace {

constexpr uint32_t kRxPacketSize = 512;

ISDN::Side::type SideOf(const LGCP::IsdnSide& side) {
  return side.is_network() ? ISDN::Side::network : ISDN::Side::user;
}

}  // namespace

IsdnFactory& IsdnFactory::instance() {
  static IsdnFactory factory;
  return factory;
}

Slot* IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
  switch (params.currentSelection()) {
    case LGCP::CreateParams::e_isdn:
      return NewIsdnSlot(static_cast<const LGCP::IsdnParams&>(*params.getSelection()));
    case LGCP::CreateParams::e_ats_qsig:
      return NewAtsQsigSlot(static_cast<const LGCP::AtsQsigParams&>(*params.getSelection()));
    case LGCP::CreateParams::e_ats_qsig_b:
      return NewAtsQsigBSlot(static_cast<const LGCP::AtsQsigBParams&>(*params.getSelection()));
    default:
      return nullptr;
  }
}

Slot* IsdnFactory::FindSlot(unsigned number) const {
  for (Slot* s : slots) {
    if (s->number == number) return s;
  }
  return nullptr;
}

void IsdnFactory::LogFailure(const char* what) {
  const int error = errno;
  refusalLogs.write(std::cerr, this, what, ": ", std::strerror(error));
}

bool IsdnFactory::Switchable(int channel, const char* what) {
  if (channel >= 0) return true;
  LogFailure(what);
  return false;
}

Slot* IsdnFactory::NewIsdnSlot(const LGCP::IsdnParams& p) {
  const bool bri = p.get_type().getValue() == LGCP::IsdnType::bri;
  const int trunk = p.get_trunk().getValue();
  if (!IsLineTrunk(bri, trunk)) {
    refusalLogs.write(std::cerr, this, "invalid trunk number: ", trunk);
    return nullptr;
  }
  Fd fd(Device::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK));
  if (!fd) {
    LogFailure("fail to open MCC device");
    return nullptr;
  }
  mcc_allocation allocation{bri ? 1u : 0u, kRxPacketSize, 0, 1, 1};
  if (Device::ioctl(fd.get(), MccIoctl::kAllocate, &allocation, sizeof allocation) < 0) {
    LogFailure("MCC_ALLOCATE fail");
    return nullptr;
  }
  const int channel = Device::ioctl(fd.get(), MccIoctl::kTimeslot, 0ul);
  if (!Switchable(channel, "MCC_TIMESLOT fail")) return nullptr;
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  if (bri) lapd->change_to_bri();
  lapd->trunk = static_cast<uint32_t>(trunk);
  lapd->log = static_cast<unsigned>(p.get_log().getValue());
  lapd->side = SideOf(p.get_side());
  return new IsdnSlot(fd, lapd, channel);
}

Slot* IsdnFactory::NewAtsQsigSlot(const LGCP::AtsQsigParams& p) {
  Fd fd(Device::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
  if (!fd) {
    LogFailure("fail to open dsp-data device");
    return nullptr;
  }
  int32_t id = -1;
  const int channel = Device::ioctl(fd.get(), DspDataIoctl::kChannelId, &id, sizeof id);
  if (!Switchable(channel, "CHANNEL_ID fail")) return nullptr;
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  lapd->side = SideOf(p.get_side());
  lapd->trunk = static_cast<uint32_t>(channel);
  return new AtsQsigSlot(fd, lapd, channel);
}

Slot* IsdnFactory::NewAtsQsigBSlot(const LGCP::AtsQsigBParams& p) {
  const unsigned subslot = p.get_subslot().getValue();
  auto* signalling = dynamic_cast<AtsQsigSlot*>(FindSlot(p.get_slot().getValue()));
  if (!signalling || subslot < 1 || subslot > kDspDataBChannels) return nullptr;
  return signalling->NewBChannel(subslot - 1);
}
