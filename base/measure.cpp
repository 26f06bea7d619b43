#include "base/measure.h"

#include <ostream>

#include "base/mux_clock.h"

void Measure::begin() { start_ = Mux::microseconds(); }

unsigned Measure::end() {
  unsigned d = Mux::microseconds() - start_;
  sample(d);
  return d;
}

void Measure::sample(unsigned us) {
  if (first_) {
    first_ = false;
    min_ = max_ = us;
    count_ = 1;
  } else {
    ++count_;
    if (us < min_) min_ = us;
    if (us > max_) max_ = us;
  }
  last_ = us;
}

void Measure::put(std::ostream& os) const {
  os << "min=" << min_ << " max=" << max_ << " avg=" << last_ << " counter=" << count_;
}

std::ostream& operator<<(std::ostream& os, const Measure& m) {
  m.put(os);
  return os;
}
