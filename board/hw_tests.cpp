#include "board/hw_tests.h"

#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "base/ext_header.h"
#include "base/ext_hex.h"
#include "hw/hw_mux.h"

namespace {

// What the test modes are in LGCP::BpcTestMode.
enum Mode { kRead = 0, kWrite = 1, kDisable = 2 };

constexpr unsigned kSettleUs = 500;
constexpr unsigned kDisableSettleUs = 250;

unsigned char next_pattern() { return static_cast<unsigned char>(::random() & 0xFF); }

}  // namespace

HwTests& HwTests::instance() {
  static HwTests tests(HwMux::instance());
  return tests;
}

bool HwTests::OnCommand(const LGCP::Command& command) {
  if (!command.is_testBpc()) return false;
  OnTestBpc(command.get_testBpc());
  return true;
}

void HwTests::answer(bool ok, LGCP::ErrorCause::NamedNumber cause) {
  if (ok) {
    Success();
  } else {
    Error(cause);
  }
}

void HwTests::OnTestBpc(const LGCP::BpcTestParams& params) {
  bus_ = params.get_bus().getValue();
  first_ = kFirstBusChannel + bus_ * kBusChannels + params.get_timeslot_start().getValue();
  end_ = first_ + params.get_timeslot_length().getValue();
  seed_ = static_cast<uint32_t>(params.get_seed().getValue());
  ::srandom(seed_);
  // A test of one bus touches no output of the next: the outputs there may carry calls.
  if (end_ > kFirstBusChannel + (bus_ + 1) * kBusChannels) {
    std::cerr << ext::header(this) << "time slots " << (first_ & 127) << " to "
              << (first_ & 127) + (end_ - first_) - 1 << " run past the bus; not tested"
              << std::endl;
    answer(false, LGCP::ErrorCause::invalidParams);
    return;
  }
  switch (params.get_mode().currentSelection()) {
    case kRead:
      answer(check("test failed on channel ", " expected ", " read "), LGCP::ErrorCause::busError);
      return;
    case kWrite:
      for (uint32_t channel = first_; channel < end_; ++channel) {
        mux_.Write(static_cast<int>(channel), next_pattern());
      }
      ::usleep(kSettleUs);
      ::srandom(seed_);
      answer(check("write failed on channel ", " write ", " written "),
             LGCP::ErrorCause::busError);
      return;
    case kDisable: {
      // An output the switch did not switch off still sends the test's byte.
      bool all = true;
      for (uint32_t channel = first_; channel < end_; ++channel) {
        all = mux_.Disable(static_cast<int>(channel)) && all;
      }
      ::usleep(kDisableSettleUs);
      answer(all, LGCP::ErrorCause::busError);
      return;
    }
    default:
      answer(false, LGCP::ErrorCause::invalidParams);
  }
}

bool HwTests::check(const char* failed, const char* wanted, const char* got) {
  for (uint32_t channel = first_; channel < end_; ++channel) {
    unsigned char expected = next_pattern();
    unsigned char read = mux_.Read(static_cast<int>(channel));
    if (read != expected) {
      std::cerr << ext::header(this) << failed << (channel & 127) << wanted
                << ext::OutBufInHex(&expected, 1) << got << ext::OutBufInHex(&read, 1)
                << std::endl;
      return false;
    }
  }
  return true;
}
