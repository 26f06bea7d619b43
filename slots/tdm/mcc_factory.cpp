#include "slots/tdm/mcc_factory.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"
#include "base/fd.h"
#include "hw/mcc_channel.h"
#include "slots/tdm/mcc_slot.h"

namespace {

constexpr uint32_t kSs7Kind = 3;
constexpr uint32_t kRxPacketSize = 512;

}  // namespace

MccFactory& MccFactory::instance() {
  static MccFactory factory;
  return factory;
}

Slot* MccFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_mcc) return nullptr;
  const auto& p = static_cast<const LGCP::MccParams&>(*params.getSelection());
  const int type = p.get_type().asInt();
  if (type < 0 || type > 2) {
    refusalLogs.write(std::cerr, this, "no channel kind", " for type ", type);
    return nullptr;
  }
  const uint32_t kind = p.get_mode().asInt() == 1 ? kSs7Kind : static_cast<uint32_t>(type);
  std::clog << "mcc: MCC_ALLOCATE type=" << kind << std::endl;
  Fd fd = OpenMccChannel("mcc: ", O_RDWR | O_NONBLOCK, {kind, kRxPacketSize, 0, 1, 1});
  if (!fd) return nullptr;
  // A channel without a switch channel could never be connected: it is given back at once.
  const int channel = Device::ioctl(fd.get(), MccIoctl::kTimeslot, 0ul);
  if (channel < 0) {
    refusalLogs.write(std::cerr, this, "MCC_TIMESLOT fail: ", std::strerror(errno));
    return nullptr;
  }
  return new MccSlot(std::move(fd), channel);
}

void MccFactory::Query(LGCP::Resources& report) {
  report.get_mcc_data() = 0;
  report.get_mcc_bri() = 0;
  report.get_mcc_trans() = 0;
  Fd fd(Device::open(GetMccDevName(), O_RDONLY));
  mcc_capacity capacity{};
  if (!fd || Device::ioctl(fd.get(), MccIoctl::kCapacity, &capacity, sizeof capacity) < 0) return;
  report.get_mcc_data() = static_cast<int32_t>(capacity.data);
  report.get_mcc_bri() = static_cast<int32_t>(capacity.bri);
  report.get_mcc_trans() = static_cast<int32_t>(capacity.transparent);
}
