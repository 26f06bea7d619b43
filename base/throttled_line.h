// ThrottledLine: one kind of log line under a LogThrottle, written by one function both when the
// throttle lets a line through and when a series ends with lines refused.
//
// The owner gives the stream and the function that writes the line's text (the count of lines
// left out and the end of the line follow it). report() stands for one more line of the kind;
// flush(), at the end of a series (the stream that brought the lines has ended, say), writes the
// last line refused, so that no count is lost. The text function reads the owner's state as it
// is when the line is written: what a flushed line says is what the last refused one would have.
//
//   ThrottledLine bad_frame_{std::clog, [this](std::ostream& os) { os << name_ << " bad frame"; }};
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
      : os_(os), text_(std::move(text)), throttle_(interval_ms) {}
  // The text usually refers to its owner: a copy would write the original's.
  ThrottledLine(const ThrottledLine&) = delete;
  ThrottledLine& operator=(const ThrottledLine&) = delete;

  // One more line of the kind: written unless the interval runs. True when written.
  bool report() { return throttle_.write(os_, text_); }
  // The series ends: writes the last line refused, if any, with the count of those before it.
  // True when written.
  bool flush() { return throttle_.flush(os_, text_); }

 private:
  std::ostream& os_;
  Text text_;
  LogThrottle throttle_;
};
