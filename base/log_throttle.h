// At most one log line of a kind per interval, with the count of the lines left out.
//
// A log line that outside input can repeat (a bad frame, a refused message) goes through a
// LogThrottle of its own, so that a hostile peer cannot fill the log: the first line of a burst
// is written, the rest of the interval only counts, and the next line written says how many
// were left out since the one before.
//
//   uint32_t left_out = 0;
//   if (throttle_.allow(left_out)) log << "bad frame" << LogThrottle::left_out_text(left_out);
//
// or, the same in one call:
//
//   throttle_.write(std::cerr, [&](std::ostream& os) { os << "bad frame"; });
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class LogThrottle {
 public:
  explicit LogThrottle(uint32_t interval_ms = 1000) : interval_ms_(interval_ms) {}

  // True when a line may be written now; `left_out` is then the number of lines refused since
  // the last line allowed. False (and one more left out) within the interval.
  bool allow(uint32_t& left_out);

  // The number of lines refused since the last line allowed.
  uint32_t pending() const { return left_out_; }

  // One more line of the kind: when allowed, `text(os)` writes its text, and the count of the
  // lines left out and the end of the line follow. True when written.
  template <class Text>
  bool write(std::ostream& os, const Text& text) {
    uint32_t left_out = 0;
    return allow(left_out) && end_line(os, text, left_out);
  }

  // Ends a series (the stream that brought the lines has ended, say), so that no count is lost:
  // true when lines were refused since the last line allowed; the caller then writes the last
  // of them, and `left_out` is the number refused before it. The interval starts afresh.
  // ThrottledLine (base/throttled_line.h) keeps this contract for a line of one text.
  bool flush(uint32_t& left_out);

  // The same in one call, as write() is to allow(): when lines were refused, `text(os)` writes
  // the last one's text, and the count of those before it and the end of the line follow.
  template <class Text>
  bool flush(std::ostream& os, const Text& text) {
    uint32_t left_out = 0;
    return flush(left_out) && end_line(os, text, left_out);
  }

  // "" for 0, else " (N similar lines left out)", for the end of the line written.
  static std::string left_out_text(uint32_t left_out);

 private:
  // Writes the line: its text, the count and the end. True.
  template <class Text>
  static bool end_line(std::ostream& os, const Text& text, uint32_t left_out) {
    text(os);
    os << left_out_text(left_out) << std::endl;
    return true;
  }

  uint32_t interval_ms_;
  uint32_t last_ms_ = 0;
  bool written_ = false;
  uint32_t left_out_ = 0;
};
