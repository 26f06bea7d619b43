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
      // A range where no output could be switched off is a bus that is not there.
      bool any = first_ == end_;
      for (uint32_t channel = first_; channel < end_; ++channel) {
        any |= mux_.Disable(static_cast<int>(channel));
      }
      ::usleep(kDisableSettleUs);
      answer(any, LGCP::ErrorCause::busError);
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
