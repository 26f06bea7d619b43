// Measure: duration statistics of a code section, in microseconds of Mux::microseconds.
// begin() before the section, end() after it. The figure printed as "avg" is the most recent
// duration, not an average: the status dump has always shown it under that name.
#pragma once

#include <iosfwd>

class Measure {
 public:
  void begin();
  // Ends the section begun last and records its duration, which it returns. Correct across the
  // 32-bit wrap of the microsecond counter for sections shorter than about 71 minutes.
  unsigned end();
  // Records one duration measured elsewhere.
  void sample(unsigned us);
  // "min=" minimum " max=" maximum " avg=" last " counter=" count, all decimal.
  void put(std::ostream& os) const;

  unsigned min() const { return min_; }
  unsigned max() const { return max_; }
  unsigned last() const { return last_; }
  unsigned count() const { return count_; }

 private:
  unsigned min_ = 0;
  unsigned max_ = 0;
  unsigned last_ = 0;
  bool first_ = true;
  unsigned start_ = 0;
  unsigned count_ = 0;
};

std::ostream& operator<<(std::ostream& os, const Measure& m);
