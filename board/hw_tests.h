// HwTests: the control service that runs the controller's testBpc command, a test of one TDM bus
// of the time-slot switch over a range of its time slots. A pseudo-random pattern from the
// command's seed (srandom/random, the low byte of one value per channel in channel order) is
// written to the switch outputs and read back (write), compared with what the outputs carry
// (read), or the outputs are switched off (disconnect). The test runs inside the command, its
// short sleeps included, and answers it: success, busError at the first channel that differs
// or when an output of the range could not be switched off, invalidParams for an unknown mode
// or a range that runs past the end of its bus (nothing is touched then).
//
// One process-wide instance, instance(); tests make their own.
#pragma once

#include <cstdint>
#include <ostream>

#include "asn1/modules/lgcp.h"
#include "control/ctrl_service.h"

class HwMux;

class HwTests : public CtrlSrv::Service {
 public:
  static constexpr uint32_t kFirstBusChannel = 8192;
  static constexpr uint32_t kBusChannels = 128;

  static HwTests& instance();

  // Tests run on `mux`.
  explicit HwTests(HwMux& mux) : mux_(mux) {}

  void OnConnect() override {}
  void OnDisconnect() override {}
  // Takes testBpc only.
  bool OnCommand(const LGCP::Command& command) override;
  void OnTestBpc(const LGCP::BpcTestParams& params);

  void PutHeader(std::ostream& os) const { os << "bus " << bus_ << ": "; }

 private:
  // Compares every channel with the pattern from the start; false (after the log line) at the
  // first difference.
  bool check(const char* failed, const char* wanted, const char* got);
  void answer(bool ok, LGCP::ErrorCause::NamedNumber cause);

  HwMux& mux_;
  uint32_t bus_ = 0;
  uint32_t first_ = 0;
  uint32_t end_ = 0;
  uint32_t seed_ = 0;
};
