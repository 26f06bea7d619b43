#include "board/e1_ctl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <iterator>
#include <poll.h>
#include <unistd.h>

#include "base/ext_header.h"
#include "board/trunk_status.h"
#include "hw/device_events.h"
#include "hw/device_names.h"
#include "hw/e1_records.h"

namespace {

bool valid_trunk(int32_t trunk) { return trunk >= 0 && trunk < E1Ctl::kTrunks; }

}  // namespace

E1Ctl::E1Ctl() : maintenance_(GetMaintenance(), O_RDWR | O_NONBLOCK) {}

E1Ctl& E1Ctl::instance() {
  static E1Ctl e1;
  return e1;
}

void E1Ctl::OnConnect() {
  SendStatus();
  poll_.set(kPollMs, &E1Ctl::OnCheckStatus, this);
  SendTclk(0);
  CheckOpenCas();
}

void E1Ctl::OnDisconnect() { poll_.reset(); }

void E1Ctl::OnCheckStatus() {
  SendStatus();
  CheckOpenCas();
  poll_.set(kPollMs, &E1Ctl::OnCheckStatus, this);
}

void E1Ctl::SendStatus() {
  if (maintenance_.open() == DeviceFile::kClosed) return;
  // A device that went away during the poll is not asked for the trunks after.
  for (int32_t trunk = 0; trunk < kTrunks && maintenance_; ++trunk) {
    e1_status record{};
    record.trunk = static_cast<uint32_t>(trunk);
    if (maintenance_.ioctl(MaintenanceIoctl::kStatus, &record, sizeof record) < 0) {
      std::cerr << ext::header(this) << "synchronization status read fail, trunk = " << trunk
                << " cause = " << std::strerror(errno) << std::endl;
      continue;
    }
    TrunkReport report{trunk, e1_trunk_state(record.state), ACP::TrunkType::e1};
    report.slips = static_cast<int32_t>(record.slips);
    report.loss_bf = static_cast<int32_t>(record.loss_bf);
    report.loss_carrier = static_cast<int32_t>(record.loss_carrier);
    report.loss_ais = static_cast<int32_t>(record.loss_ais);
    report.loss_rai = static_cast<int32_t>(record.loss_rai);
    SendSignal(trunk_status_signal(report));
  }
}

bool E1Ctl::SendTclk(uint32_t mask) {
  if (maintenance_.open() == DeviceFile::kClosed) return false;
  if (maintenance_.ioctl(MaintenanceIoctl::kTclk, static_cast<unsigned long>(mask)) < 0) {
    std::cerr << ext::header(this) << "fail to set TCLK [cause=" << std::strerror(errno) << "]"
              << std::endl;
    return false;
  }
  tclk_ = mask;
  std::clog << ext::header(this) << "TCLT = 0x" << std::hex << tclk_ << std::dec << std::endl;
  return true;
}

bool E1Ctl::TrunkCfg(int32_t trunk, int32_t mode) {
  if (trunk < 0 || trunk > 31 || (mode != 0 && mode != 1)) return true;
  uint32_t bit = uint32_t(1) << trunk;
  return SendTclk(mode == 0 ? (tclk_ | bit) : (tclk_ & ~bit));
}

bool E1Ctl::OnCommand(const LGCP::Command& command) {
  if (command.is_trunkCfg()) {
    const LGCP::TrunkCfg& cfg = command.get_trunkCfg();
    if (TrunkCfg(cfg.get_trunk().getValue(), cfg.get_mode().asInt()))
      Success();
    else
      Error(LGCP::ErrorCause::busError);
    return true;
  }
  if (!command.is_ioctl() || !command.get_ioctl().is_cas()) return false;
  if (!CheckOpenCas()) {
    Error(LGCP::ErrorCause::busError);
    return true;
  }
  CasCommand(command.get_ioctl().get_cas());
  Success();
  return true;
}

bool E1Ctl::CheckOpenCas() {
  // A device whose polling the drain ended (it read the device's end) is opened again.
  if (cas_ && !cas_event_.fd()) cas_.close();
  switch (cas_.open()) {
    case DeviceFile::kKept:
      return true;
    case DeviceFile::kClosed:
      return false;
    case DeviceFile::kOpened:
      break;
  }
  // A device opened afresh has no trunk open.
  std::fill(std::begin(cas_open_), std::end(cas_open_), false);
  std::clog << ext::header(this) << "cas interface opened!" << std::endl;
  cas_event_.Bind("E1/Cas", &E1Ctl::OnCasEvent, this);
  cas_.poll(cas_event_, POLLIN);
  return true;
}

void E1Ctl::OnCasEvent(int fd, short revents) {
  drain_events<cas_channel>(cas_event_, kCasDevice, fd, revents, [this](const cas_channel& r) {
    send_cas(static_cast<int32_t>(r.trunk), static_cast<int32_t>(r.timeslot), r.rx, r.tx);
  });
}

void E1Ctl::CasCommand(const LGCP::CasCommand& command) {
  int32_t trunk = command.get_channel().get_path().getValue();
  int32_t timeslot = command.get_channel().get_timeslot().getValue();
  const LGCP::CasCommandSignal& cmd = command.get_cmd();
  if (cmd.is_open()) {
    cas_open(trunk, timeslot, cmd.get_open().getValue());
  } else if (cmd.is_set()) {
    cas_open(trunk, timeslot, cmd.get_set().getValue());
  } else if (cmd.is_close()) {
    cas_close(trunk, timeslot);
  } else if (cmd.is_get()) {
    cas_get(trunk, timeslot);
  }
}

void E1Ctl::cas_open(int32_t trunk, int32_t timeslot, int32_t bits) {
  if (!valid_trunk(trunk)) return;
  if (!cas_open_[trunk]) {
    int result = cas_.ioctl(CasIoctl::kOpenTrunk, static_cast<unsigned long>(trunk));
    send_cas(trunk, 0, result, 0);
    std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - ";
    if (result < 0) {
      std::clog << "fail(" << result << ")" << std::endl;
      return;
    }
    std::clog << "ok" << std::endl;
    cas_open_[trunk] = true;
  } else {
    send_cas(trunk, 0, 0, 0);
  }
  if (timeslot == 0 || timeslot == 16) return;
  cas_channel_op op{{static_cast<uint32_t>(trunk), static_cast<uint32_t>(timeslot), 0,
                     static_cast<uint8_t>(bits & 15), {}},
                    kCasOpenChannel};
  int result = cas_.ioctl(CasIoctl::kChannelOp, &op, sizeof op);
  if (result < 0) {
    send_cas(trunk, timeslot, result, 0);
    return;
  }
  report_bits(trunk, timeslot);
}

void E1Ctl::cas_close(int32_t trunk, int32_t timeslot) {
  if (!valid_trunk(trunk) || (!cas_open_[trunk] && timeslot != 0)) return;
  if (timeslot == 0) {
    int result = cas_.ioctl(CasIoctl::kCloseTrunk, static_cast<unsigned long>(trunk));
    send_cas(trunk, 0, result == 0 ? 1 : result, 0);
    if (result >= 0) cas_open_[trunk] = false;
    return;
  }
  if (timeslot == 16) return;
  cas_channel_op op{{static_cast<uint32_t>(trunk), static_cast<uint32_t>(timeslot), 0, 0, {}},
                    kCasCloseChannel};
  int result = cas_.ioctl(CasIoctl::kChannelOp, &op, sizeof op);
  if (result < 0) {
    send_cas(trunk, timeslot, result, 0);
  } else {
    send_cas(trunk, timeslot, -1, 1);
  }
}

void E1Ctl::cas_get(int32_t trunk, int32_t timeslot) {
  if (valid_trunk(trunk) && cas_open_[trunk]) report_bits(trunk, timeslot);
}

void E1Ctl::report_bits(int32_t trunk, int32_t timeslot) {
  cas_channel channel{static_cast<uint32_t>(trunk), static_cast<uint32_t>(timeslot), 0, 0, {}};
  int result = cas_.ioctl(CasIoctl::kGetBits, &channel, sizeof channel);
  if (result < 0) {
    send_cas(trunk, timeslot, result, 0);
  } else {
    send_cas(trunk, timeslot, channel.rx, channel.tx);
  }
}

void E1Ctl::send_cas(int32_t trunk, int32_t timeslot, int32_t rx, int32_t tx) {
  LGCP::Signal signal;
  LGCP::CasSignalling& cas = signal.select_cas();
  cas.get_channel().set_path(trunk);
  cas.get_channel().set_timeslot(timeslot);
  cas.set_rx(rx);
  cas.set_tx(tx);
  SendSignal(signal);
}
