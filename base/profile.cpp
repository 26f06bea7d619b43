#include "base/profile.h"

#include "base/mux_clock.h"

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* name) : next_(mRoot), name_(name) { mRoot = this; }

Point::~Point() {
  for (Point** p = &mRoot; *p; p = &(*p)->next_) {
    if (*p == this) {
      *p = next_;
      break;
    }
  }
}

void Point::begin() { start_ = Mux::microseconds(); }

void Point::end() {
  // Unsigned 32-bit difference: right across a wrap of the microsecond clock.
  const unsigned d = Mux::microseconds() - start_;
  if (first_) {
    min_ = max_ = last_ = d;
    counter_ = 1;
    first_ = false;
    return;
  }
  ++counter_;
  if (d < min_) min_ = d;
  if (d > max_) max_ = d;
  last_ = d;
}

void Point::put(std::ostream& os) const {
  const std::ios_base::fmtflags flags = os.flags();
  os << std::dec << '[' << name_ << "]: min=" << min_ << " max=" << max_ << " avg=" << last_
     << " counter=" << counter_;
  os.flags(flags);
}

void dump(std::ostream& os) {
  for (const Point* p = mRoot; p; p = p->next()) os << *p << '\n';
}

}  // namespace Profile
