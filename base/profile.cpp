#include "base/profile.h"

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

void Point::put(std::ostream& os) const {
  const std::ios_base::fmtflags flags = os.flags();
  os << std::dec << '[' << name_ << "]: " << measure_;
  os.flags(flags);
}

void dump(std::ostream& os) {
  for (const Point* p = mRoot; p; p = p->next()) os << *p << '\n';
}

}  // namespace Profile
