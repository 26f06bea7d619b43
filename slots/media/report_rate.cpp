#include "slots/media/report_rate.h"

#include "base/mux_clock.h"

bool ReportRate::room() const {
  return count_ < kMaxReportsPerSecond || Mux::milliseconds() - times_[next_] >= kSpanMs;
}

void ReportRate::count() {
  times_[next_] = Mux::milliseconds();
  next_ = (next_ + 1) % kMaxReportsPerSecond;
  if (count_ < kMaxReportsPerSecond) ++count_;
}

uint32_t ReportRate::room_in() const {
  // The oldest of the last reports leaves the span first.
  return times_[next_] + kSpanMs - Mux::milliseconds();
}
