#include "board/spi_ctrl.h"

#include <cerrno>
#include <iostream>
#include <iterator>

#include "base/device.h"
#include "base/ext_header.h"
#include "board/trunk_status.h"
#include "hw/hal_records.h"

namespace {

// Framer registers.
constexpr uint8_t kMode = 0x32;
constexpr uint8_t kStatus = 0x33;
constexpr uint8_t kClock = 0x57;
constexpr uint8_t kDisabled = 0x80;
constexpr uint8_t kEnabled = 0x00;
constexpr uint8_t kClockSlave = 0x30;
constexpr uint8_t kClockMaster = 0x38;
constexpr uint8_t kSlip = 0x20;

constexpr uint8_t kInit[][2] = {{kMode, kDisabled}, {0x30, 0x08}, {kClock, kClockSlave},
                                {0x34, 0x60},       {0x35, 0},    {0x36, 0},
                                {0x37, 0}};
constexpr uint8_t kEnable[][2] = {{kMode, kEnabled}};
constexpr uint8_t kDisable[][2] = {{kMode, kDisabled}};

}  // namespace

spiCtrl& spiCtrl::instance() {
  static spiCtrl spi;
  return spi;
}

spiCtrl::spiCtrl() { init_device_and_channels(); }

spiCtrl::~spiCtrl() {
  if (!device_) return;
  poll_.reset();
  for (int ch = 0; ch < kChannels; ++ch) disable_channel(ch);
  clock(-1);
}

void spiCtrl::init_device_and_channels() {
  if (device_ || !present_) return;
  // A device that stays away is said once, not at each poll that looks for it.
  if (!missing_) std::clog << ext::header(this) << "try init" << std::endl;
  if (device_.open() == DeviceFile::kClosed) {
    if (!missing_) std::clog << ext::header(this) << "/dev/hal open fail" << std::endl;
    missing_ = true;
    return;
  }
  missing_ = false;
  served_ = false;
  for (int ch = 0; ch < kChannels; ++ch) {
    init_channel(ch);
    enable_channel(ch);
  }
}

int spiCtrl::request(uint32_t number, spi_register& reg) {
  const int result = Device::ioctl(device_.get(), number, &reg, sizeof reg);
  if (result >= 0) {
    served_ = true;
  } else if (Device::gone(errno) && served_) {
    device_.lost();
  }
  return result;
}

void spiCtrl::refused(const char* what, int channel, int addr, int data) {
  if (!device_) return;
  if (errno == ENODEV) {
    present_ = false;
    poll_.reset();
    std::clog << ext::header(this) << "hal without spi" << std::endl;
    return;
  }
  std::clog << ext::header(this) << what << " error: channel=" << channel << " addr=" << addr;
  if (data >= 0) std::clog << " data=" << data;
  std::clog << std::endl;
}

void spiCtrl::write(int channel, int addr, int data) {
  if (!device_ || !present_) return;
  spi_register reg{static_cast<uint8_t>(channel), static_cast<uint8_t>(addr),
                   static_cast<uint8_t>(data)};
  if (request(SpiIoctl::kWrite, reg) < 0) {
    refused("write", channel, addr, data);
  }
}

uint8_t spiCtrl::read(int channel, int addr) {
  if (!device_ || !present_) return 0;
  spi_register reg{static_cast<uint8_t>(channel), static_cast<uint8_t>(addr), 0xFF};
  int result = request(SpiIoctl::kRead, reg);
  if (result < 0) {
    refused("read", channel, addr, -1);
    return 0;
  }
  return static_cast<uint8_t>(result & 0xFF);
}

bool spiCtrl::check_channel(int ch, const char* operation) {
  init_device_and_channels();
  if (!present_) return false;
  if (ch >= 0 && ch < kChannels) return true;
  std::clog << ext::header(this) << "bad channel for " << operation << " " << ch << std::endl;
  return false;
}

bool spiCtrl::write_all(int ch, const uint8_t (*writes)[2], int count) {
  for (int i = 0; i < count; ++i) write(ch, writes[i][0], writes[i][1]);
  return present_ && device_;
}

void spiCtrl::init_channel(int ch) {
  if (check_channel(ch, "init") && write_all(ch, kInit, std::size(kInit))) {
    std::clog << ext::header(this) << "init channel " << ch << std::endl;
  }
}

void spiCtrl::enable_channel(int ch) {
  if (check_channel(ch, "enable") && write_all(ch, kEnable, std::size(kEnable))) {
    std::clog << ext::header(this) << "enable channel " << ch << std::endl;
  }
}

void spiCtrl::disable_channel(int ch) {
  if (check_channel(ch, "disable") && write_all(ch, kDisable, std::size(kDisable))) {
    std::clog << ext::header(this) << "disable channel " << ch << std::endl;
  }
}

void spiCtrl::clock(int ch) {
  init_device_and_channels();
  if (!present_) return;
  if (ch < -1 || ch >= kChannels) {
    std::clog << ext::header(this) << "bad channel for set clock master " << ch << std::endl;
    return;
  }
  for (int c = 0; c < kChannels; ++c) write(c, kClock, kClockSlave);
  if (ch >= 0) write(ch, kClock, kClockMaster);
  if (!present_ || !device_) return;
  if (ch >= 0) {
    std::clog << ext::header(this) << "set clock master on channel " << ch << std::endl;
  } else {
    std::clog << ext::header(this) << "clock master disabled" << std::endl;
  }
}

void spiCtrl::status() {
  init_device_and_channels();
  for (int ch = 0; ch < kChannels && device_ && present_; ++ch) {
    uint8_t v = read(ch, kStatus);
    if (!device_ || !present_) break;
    // A slip shows as bit 0x20 until the framer clears it; each appearance counts once.
    int32_t slips = 0;
    if (!(v & kSlip)) {
      slip_latch_[ch] = false;
    } else if (!slip_latch_[ch]) {
      slip_latch_[ch] = true;
      slips = 1;
    }
    TrunkReport report{ch, bri_trunk_state(v), ACP::TrunkType::bri};
    report.slips = slips;
    SendSignal(trunk_status_signal(report));
  }
  // A device that went away is looked for again at the next poll.
  if (present_) poll_.set(kPollMs, &spiCtrl::status, this);
}

void spiCtrl::OnConnect() {
  if (present_) poll_.set(kPollMs, &spiCtrl::status, this);
}

void spiCtrl::OnDisconnect() { poll_.reset(); }
