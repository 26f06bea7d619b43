// ReportRate: the times of the last kMaxReportsPerSecond reports of one kind, so that a report
// goes only while fewer than that many went in the last kSpanMs.
#pragma once

#include <array>
#include <cstdint>

class ReportRate {
 public:
  static constexpr unsigned kMaxReportsPerSecond = 10;
  static constexpr uint32_t kSpanMs = 1000;

  // Whether one more report may go now.
  bool room() const;
  // One more report goes now.
  void count();
  // In how many ms there is room again (room() false).
  uint32_t room_in() const;

 private:
  std::array<uint32_t, kMaxReportsPerSecond> times_{};
  unsigned next_ = 0;
  unsigned count_ = 0;
};
