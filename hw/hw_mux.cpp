#include "hw/hw_mux.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <iostream>
#include <unistd.h>
#include <vector>

#include "base/mux_clock.h"
#include "hw/mux_records.h"

namespace {

// A number in lower-case hexadecimal, without padding; the stream stays decimal.
struct Hex {
  unsigned value;
};

std::ostream& operator<<(std::ostream& os, Hex h) {
  return os << std::hex << h.value << std::dec;
}

}  // namespace

HwMux& HwMux::instance() {
  static HwMux mux;
  return mux;
}

HwMux::HwMux() {
  sources_.reserve(kOutputs);
  for (int i = 0; i < kOutputs; ++i) sources_[kFirstOutput + i] = kDisabled;
  std::clog << "hwMux: init" << std::endl;
  IsOpened();
  refresh_.Bind(this, &HwMux::OnDPC);
}

// The refresh call is deactivated and its handler freed before the device closes.
HwMux::~HwMux() {
  logs_.flush(this);
}

template <class... More>
void HwMux::refused(std::string_view kind, const More&... more) {
  const int error = errno;
  logs_.write(std::clog, this, kind, more..., std::strerror(error));
}

template <class Record, class... More>
bool HwMux::apply(int ch, uint16_t value, uint32_t number, Record& words, std::string_view kind,
                  const More&... more) {
  if (!request(number, &words, sizeof words)) {
    refused(kind, more...);
    return false;
  }
  record(ch, value);
  return true;
}

bool HwMux::IsOpened() {
  switch (device_.open()) {
    case DeviceFile::kKept:
      return true;
    case DeviceFile::kClosed:
      refused("can't open device: ");
      return false;
    case DeviceFile::kOpened:
      break;
  }
  logs_.write(std::clog, this, "device opened");
  // The device is given what the table says: at the first open every logical output off; when
  // it was opened again after it went away, also the paths that live slots still hold, which a
  // device that comes back may have lost.
  for (int i = 0; i < kOutputs; ++i) Reassert(kFirstOutput + i);
  for (const auto& [output, input] : sources_) {
    if (output < kFirstOutput || output >= kFirstOutput + kOutputs) Reassert(output);
  }
  refresh_index_ = 0;
  refresh_.Activate();
  ::usleep(500);
  // The device may have gone again during the disables.
  return static_cast<bool>(device_);
}

void HwMux::Reassert(int output) {
  const uint16_t input = source(output);
  if (input == kDisabled) {
    mux_disable off{static_cast<uint32_t>(output)};
    request(MuxIoctl::kDisable, &off, sizeof off);
  } else if (input == kDetached || unmade_.count(output)) {
    // A connection the driver refused is not made later: the output is idled instead.
    mux_value idle{static_cast<uint32_t>(output), kIdleByte};
    if (request(MuxIoctl::kWrite, &idle, sizeof idle)) record(output, kDetached);
  } else {
    mux_connect connect{static_cast<uint32_t>(output), input};
    if (!request(MuxIoctl::kConnect, &connect, sizeof connect))
      refused("connect ", input, " -> ", output, " failed: ");
  }
}

bool HwMux::usable(int ch) { return IsOpened() && ch >= 0; }

void HwMux::record(int ch, uint16_t value) {
  unmade_.erase(ch);
  // Outside the table a disabled output reads as one never named: it keeps no entry, or every
  // number the controller ever gave an external channel would.
  if (value == kDisabled && (ch < kFirstOutput || ch >= kFirstOutput + kOutputs)) {
    sources_.erase(ch);
    return;
  }
  sources_[ch] = value;
}

uint16_t HwMux::source(int output) const {
  const auto found = sources_.find(output);
  return found == sources_.end() ? kDisabled : found->second;
}

std::vector<int> HwMux::outputs_of(int ch) const {
  std::vector<int> fed;
  if (ch < 0) return fed;
  for (const auto& [output, input] : sources_) {
    if (input == ch) fed.push_back(output);
  }
  return fed;
}

bool HwMux::request(uint32_t number, void* record, size_t size) {
  return device_.ioctl(number, record, size) >= 0;
}

bool HwMux::Connect(int src, int dst) {
  if (!IsOpened() || src < 0 || dst < 0) {
    logs_.write(std::clog, this, "ERROR not opened");
    return false;
  }
  record(dst, static_cast<uint16_t>(src));
  mux_connect connect{static_cast<uint32_t>(dst), static_cast<uint32_t>(src)};
  if (request(MuxIoctl::kConnect, &connect, sizeof connect)) return true;
  unmade_.insert(dst);
  refused("connect ", src, " -> ", dst, " failed: ");
  return false;
}

bool HwMux::Disconnect(int ch) {
  if (!usable(ch)) return false;
  mux_value idle{static_cast<uint32_t>(ch), kIdleByte};
  return apply(ch, kDetached, MuxIoctl::kWrite, idle, "disconnect failed ", ch, " : ");
}

bool HwMux::Disable(int ch) {
  if (!usable(ch)) return false;
  mux_disable off{static_cast<uint32_t>(ch)};
  return apply(ch, kDisabled, MuxIoctl::kDisable, off, "disable failed ", ch, " : ");
}

bool HwMux::Write(int ch, unsigned char value) {
  if (!usable(ch)) return false;
  mux_value constant{static_cast<uint32_t>(ch), value};
  return apply(ch, kDetached, MuxIoctl::kWrite, constant, "write failed ", ch, " <- 0x",
               Hex{value}, " : ");
}

unsigned char HwMux::Read(int ch) {
  if (!usable(ch)) return 0xFF;
  mux_value read{static_cast<uint32_t>(ch), 0xFF};
  if (request(MuxIoctl::kRead, &read, sizeof read)) return static_cast<unsigned char>(read.value);
  refused("read failed ", ch, " -> 0x", Hex{read.value}, " : ");
  return 0xFF;
}

bool HwMux::Release(int ch) {
  if (ch < 0) return true;
  std::vector<int> fed = outputs_of(ch);
  if (source(ch) < kDetached) fed.push_back(ch);
  bool idled = true;
  for (int output : fed) idled = Disconnect(output) && idled;
  return idled;
}

void HwMux::RefreshChannel(int index) {
  if (source(kFirstOutput + index) != kDisabled) return;
  mux_disable off{static_cast<uint32_t>(kFirstOutput + index)};
  request(MuxIoctl::kDisable, &off, sizeof off);
}

void HwMux::OnDPC() {
  if (!device_) return;
  // A run costs up to 128 driver requests. Running it twice in every loop turn made each
  // command wait behind up to 256 of them, so runs are spaced by at least 50 ms of the loop
  // clock: a busy loop sweeps the 2048 outputs in 0.8 s, and an idle loop, whose turns come
  // further apart, makes one run per turn, never more than before.
  const uint32_t now = Mux::milliseconds();
  if (refreshed_ && now - last_refresh_ms_ < kRefreshIntervalMs) return;
  refreshed_ = true;
  last_refresh_ms_ = now;
  for (int i = 0; i < kRefreshPerRun; ++i) {
    refresh_index_ = (refresh_index_ + 1) % kOutputs;
    RefreshChannel(static_cast<int>(refresh_index_));
  }
}

void print_trace() {
  void* frames[10];
  int count = ::backtrace(frames, 10);
  char** symbols = ::backtrace_symbols(frames, count);
  std::printf("Obtained %zd stack frames.\n", static_cast<ssize_t>(count));
  for (int i = 0; symbols && i < count; ++i) std::printf("%s\n", symbols[i]);
  std::free(symbols);
}
