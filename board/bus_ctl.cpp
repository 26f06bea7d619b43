#include "board/bus_ctl.h"

#include <iostream>

#include "base/ext_header.h"
#include "board/spi_ctrl.h"
#include "hw/hal_records.h"

std::string clock_source_name(int src) {
  static const char* const names[] = {"f0", "f1", "f2", "f3", "freerun", "X3", "?1", "?2"};
  return src >= 0 && src < 8 ? names[src] : std::to_string(src);
}

BusCtl& BusCtl::instance() {
  static BusCtl bus;
  return bus;
}

void BusCtl::DisableControl() {
  std::clog << "clock control disabled." << std::endl;
  enabled_ = false;
}

void BusCtl::OnConnect() {
  if (enabled_) SetDefaultClock();
}

void BusCtl::OnDisconnect() {
  if (enabled_) SetDefaultClock();
}

bool BusCtl::OnCommand(const LGCP::Command& command) {
  if (!command.is_clockCfg()) return false;
  if (!enabled_) {
    Error(LGCP::ErrorCause::unsupported);
  } else if (SetClockSrc(command.get_clockCfg())) {
    Success();
  } else {
    Error(LGCP::ErrorCause::busError);
  }
  return true;
}

void BusCtl::SetDefaultClock() {
  LGCP::ClockCfg cfg;
  cfg.set_clkSel0(LGCP::ClkSel0::internal);
  cfg.set_bextEn(LGCP::BExtEn::disabled);
  cfg.set_source(-1);
  SetClockSrc(cfg);
}

bool BusCtl::IsOpen() {
  if (device_) return true;
  return enabled_ && device_.open() != DeviceFile::kClosed;
}

bool BusCtl::SetClockSrc(const LGCP::ClockCfg& cfg) {
  if (!IsOpen()) {
    (spi_ ? *spi_ : spiCtrl::instance()).clock(-1);
    std::cerr << ext::header(this) << "set clock source fail: code 1." << std::endl;
    return false;
  }
  std::cerr << ext::header(this) << "set clock source cmd: " << cfg << std::endl;
  if (cfg.get_clkSel0().asInt() == LGCP::ClkSel0::internal) return DrvSetClkSrc(kFreeRun);
  if (cfg.get_bextEn().asInt() == LGCP::BExtEn::disabled) return DrvSetClkSrc(kX3);
  int source = cfg.get_source().getValue();
  return source < 0 || DrvSetClkSrc(source);
}

bool BusCtl::DrvSetClkSrc(int src) {
  if (!device_) {
    std::cerr << ext::header(this) << "device open error" << std::endl;
    return false;
  }
  int32_t value = src;
  if (device_.ioctl(ClockIoctl::kSelect, &value, sizeof value) < 0) {
    std::cerr << ext::header(this) << "HW_CLOCK_SELECT fail." << std::endl;
    return false;
  }
  std::cerr << ext::header(this) << "clock source = " << clock_source_name(src) << std::endl;
  return true;
}
