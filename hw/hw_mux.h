// HwMux: the daemon's front end to the board's time-slot switch on /dev/hal.
//
// It connects a switch input to a switch output, detaches an output (it then sends the idle
// byte 0xD5), disables an output, writes a constant byte to a channel and reads the byte a
// channel carries. It records what feeds each of the 2048 logical outputs 8192 to 10239 (16
// buses of 128 time slots) and, from a deferred call that runs twice per loop turn, keeps
// re-asserting the outputs it has disabled: 128 of them per run, at most one run per 50 ms of
// the loop clock. Outputs below 8192 or above 10239 are passed to the driver too, and what feeds
// them is recorded in the same table, so that Release finds every output a channel feeds
// wherever it lies.
//
// The device is opened on first need and kept while it serves; every operation retries the
// open while it is closed. A request that finds the device gone closes it, and the next
// operation opens it again and gives it what the table says: every output off at start, and
// later the paths that were made since, so that the table never claims a path that the device
// lost meanwhile (a detached output, and one whose connection the driver refused, gets the idle
// byte).
// Messages go to std::clog, each opened by "hwMux: ". The lines of a failed request can come
// once per command (a board that went away fails every request until it is back), so they are
// throttled per kind; the counts still owed are written when the switch goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <ostream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/device_file.h"
#include "base/dpc.h"
#include "base/log_throttles.h"

class HwMux {
 public:
  static constexpr int kFirstOutput = 8192;
  static constexpr int kOutputs = 2048;
  static constexpr int kRefreshPerRun = 128;
  // The shortest time between two runs of the background refresh.
  static constexpr uint32_t kRefreshIntervalMs = 50;
  // Source-table values other than an input number.
  static constexpr uint16_t kDisabled = 0xFFFF;
  static constexpr uint16_t kDetached = 0xFFFE;
  // What a detached output sends.
  static constexpr unsigned char kIdleByte = 0xD5;

  // The process's switch, built on the first call.
  static HwMux& instance();

  // A switch of its own: the daemon uses instance(); tests make their own.
  HwMux();
  ~HwMux();
  HwMux(const HwMux&) = delete;
  HwMux& operator=(const HwMux&) = delete;

  // Opens the device when it is closed; true when it is open. On the open the device is given
  // what the table says (at start: every logical output disabled) and the background refresh
  // starts.
  bool IsOpened();
  // Output dst carries input src. The source is recorded even when the driver refuses.
  bool Connect(int src, int dst);
  // Output ch sends the idle byte 0xD5. This and the next two change the record only when the
  // driver took the request: a refused one leaves the output as it was, and what it carries
  // still reads as such, so that a later release of its input idles it.
  bool Disconnect(int ch);
  // Output ch is switched off.
  bool Disable(int ch);
  // Channel ch sends the constant value.
  bool Write(int ch, unsigned char value);
  // The byte channel ch carries; 0xFF on any failure.
  unsigned char Read(int ch);
  // Channel ch is given back to its driver, which may hand it to another owner: every output
  // that carries input ch, and output ch itself when it carries an input, send the idle byte.
  // Nothing is sent for a negative channel. False when the switch refused to idle one of them
  // (the others are idled all the same).
  bool Release(int ch);

  // Re-asserts logical output 8192 + index when it is disabled.
  void RefreshChannel(int index);
  // The background refresh, called twice per loop turn: the next 128 logical outputs, wrapping
  // at 2048, unless a run was made less than 50 ms ago.
  void OnDPC();

  // The source-table entry of an output: an input number, kDetached or kDisabled; kDisabled for
  // an output outside 8192 to 10239 that was never named.
  uint16_t source(int output) const;
  // The header of the switch's log lines.
  void PutHeader(std::ostream& os) const { os << "hwMux: "; }
  // The outputs that carry input ch, in no particular order.
  std::vector<int> outputs_of(int ch) const;
  // The outputs with an entry: the 2048 of the table, and those outside it that were named and
  // not disabled since.
  size_t outputs_named() const { return sources_.size(); }
  // The index (0 to 2047) of the output last re-asserted.
  unsigned refresh_index() const { return refresh_index_; }

 private:
  // Sends what the table says output `output` carries: a connection, the idle byte or off.
  void Reassert(int output);
  // Opens the device; false when it is closed. The guard of every operation.
  bool usable(int ch);
  // Records `value` (an input, kDetached or kDisabled) as what output ch carries.
  void record(int ch, uint16_t value);
  // The driver's answer to `request` with `words`; false with errno on refusal.
  bool request(uint32_t request, void* record, size_t size);
  // Sends request `number` with `words` for output ch and records `value` once the driver took
  // it; a refusal leaves the record as it was and writes the line of `kind` and `more`.
  template <class Record, class... More>
  bool apply(int ch, uint16_t value, uint32_t number, Record& words, std::string_view kind,
             const More&... more);
  // The line of a refused request: "hwMux: ", `kind`, `more`, then what errno says.
  template <class... More>
  void refused(std::string_view kind, const More&... more);

  DeviceFile device_{"/dev/hal", O_RDWR};
  // What each output named so far carries; the 2048 logical outputs are always there, one
  // outside them only until it is disabled.
  std::unordered_map<int, uint16_t> sources_;
  // The outputs whose recorded input is a connection the driver refused.
  std::unordered_set<int> unmade_;
  unsigned refresh_index_ = 0;
  // The loop clock (ms) of the last run, valid once `refreshed_`.
  uint32_t last_refresh_ms_ = 0;
  bool refreshed_ = false;
  LogThrottles logs_;
  Dpc refresh_;
};

// Diagnostics: prints the current call stack (at most 10 frames) on stdout.
void print_trace();
