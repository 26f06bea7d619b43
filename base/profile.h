// Profiling points: each times a stretch of code in microseconds of the loop clock.
//
// A point is a function-local static of the code it times; every point links itself at the head
// of one list (Profile::mRoot) and unlinks itself when destroyed, so Profile::dump lists them
// from the newest to the oldest. Event-loop thread only.
#pragma once

#include <ostream>

namespace Profile {

class Point {
 public:
  // `name` is not copied.
  explicit Point(const char* name);
  ~Point();
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;

  void begin();
  // One sample: the time since the last begin().
  void end();

  // "[name]: min=M max=X avg=L counter=C"; avg is the latest duration.
  void put(std::ostream& os) const;

  Point* next() const { return next_; }

 private:
  Point* next_;
  const char* name_;
  unsigned min_ = 0;
  unsigned max_ = 0;
  unsigned last_ = 0;
  bool first_ = true;
  unsigned start_ = 0;
  unsigned counter_ = 0;
};

extern Point* mRoot;

// Every point, newest first, one per line.
void dump(std::ostream& os);

inline std::ostream& operator<<(std::ostream& os, const Point& p) {
  p.put(os);
  return os;
}

}  // namespace Profile
