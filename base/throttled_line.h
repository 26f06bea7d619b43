// ThrottledLine: one kind of log line under a LogThrottle, on the stream its lines go to. It is
// the one front end of throttled lines: an owner keeps one per kind of line it writes, or a
// LogThrottles (base/log_throttles.h), which keeps one per kind as the kinds show.
//
// A line of one fixed text is written by one function, given at construction, both when the
// throttle lets a line through and when a series ends with lines refused. report() stands for
// one more line of the kind; flush(), at the end of a series (the stream that brought the lines
// has ended, say), writes the last line refused, so that no count is lost. The text function
// reads the owner's state as it is when the line is written: what a flushed line says is what
// the last refused one would have.
//
//   ThrottledLine bad_frame_{std::clog, [this](std::ostream& os) { os << name_ << " bad frame"; }};
//
// A line whose text changes from one to the next gives it at each call instead: report(text)
// and flush(text).
//
// CountingLine, below, is the one for a line that carries counts adding up from line to line.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <utility>

#include "base/log_throttle.h"

class ThrottledLine {
 public:
  using Text = std::function<void(std::ostream&)>;

  ThrottledLine(std::ostream& os, Text text, uint32_t interval_ms = 1000)
      : os_(&os), text_(std::move(text)), throttle_(interval_ms) {}
  // A line whose text each call gives.
  explicit ThrottledLine(std::ostream& os) : os_(&os) {}
  // The text usually refers to its owner: a copy would write the original's.
  ThrottledLine(const ThrottledLine&) = delete;
  ThrottledLine& operator=(const ThrottledLine&) = delete;

  // One more line of the kind: written unless the interval runs. True when written.
  bool report() { return report(text_); }
  // The series ends: writes the last line refused, if any, with the count of those before it.
  // True when written.
  bool flush() { return flush(text_); }

  // The same with the text of this line: `text(os)` writes it, the count of the lines left out
  // and the end of the line follow.
  template <class Writer>
  bool report(const Writer& text) {
    return throttle_.write(*os_, text);
  }
  template <class Writer>
  bool flush(const Writer& text) {
    return throttle_.flush(*os_, text);
  }
  // As LogThrottle::allow, for a caller that writes the line itself.
  bool allow(uint32_t& left_out) { return throttle_.allow(left_out); }

 private:
  std::ostream* os_;
  Text text_;
  LogThrottle throttle_;
};

// CountingLine: a ThrottledLine whose lines carry counts that add up (messages discarded, bytes
// skipped): each report adds its counts, and the line written carries all those added since the
// last line written, so that the lines left out lose none of them. `Counts` is a count, or a
// struct of counts with +=; `text(os, counts)` writes the line's text.
//
//   CountingLine<unsigned> lost_{std::clog, [](std::ostream& os, unsigned n) { os << n << " lost"; }};
//   lost_.report(queue_.count());
template <class Counts>
class CountingLine {
 public:
  using Text = std::function<void(std::ostream&, const Counts&)>;

  CountingLine(std::ostream& os, Text text) : text_(std::move(text)), line_(os) {}

  // Adds `more` to the counts, for one more line of the kind. True when written.
  bool report(const Counts& more) {
    counts_ += more;
    return written(line_.report(writer()));
  }
  // The series ends: writes the last line refused, if any, with the counts it still owes. True
  // when written.
  bool flush() { return written(line_.flush(writer())); }

 private:
  auto writer() const {
    return [this](std::ostream& os) { text_(os, counts_); };
  }
  // A line written carried the counts: they start afresh.
  bool written(bool line) {
    if (line) counts_ = Counts();
    return line;
  }

  Text text_;
  Counts counts_{};
  ThrottledLine line_;
};
