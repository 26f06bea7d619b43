// Profiling points: each times a stretch of code in microseconds of the loop clock.
//
// A point is a function-local static of the code it times; every point links itself at the head
// of one list (Profile::mRoot) and unlinks itself when destroyed, so Profile::dump lists them
// from the newest to the oldest. Event-loop thread only.
#pragma once

#include <ostream>

#include "base/measure.h"

namespace Profile {

class Point {
 public:
  // `name` is not copied.
  explicit Point(const char* name);
  ~Point();
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;

  void begin() { measure_.begin(); }
  // One sample: the time since the last begin().
  void end() { measure_.end(); }

  // "[name]: min=M max=X avg=L counter=C"; avg is the latest duration.
  void put(std::ostream& os) const;

  Point* next() const { return next_; }

 private:
  Point* next_;
  const char* name_;
  Measure measure_;
};

extern Point* mRoot;

// Every point, newest first, one per line.
void dump(std::ostream& os);

inline std::ostream& operator<<(std::ostream& os, const Point& p) {
  p.put(os);
  return os;
}

}  // namespace Profile
