// Cyclic: a sequence number modulo M + 1 (M a mask: 127 for the 7-bit sequence numbers of
// Q.921 and Q.703) with wrap-around arithmetic and a window test.
//
// a <= b <= c tests whether b lies in the window that starts at a and runs forward to c, both
// ends included: ((c - a) & M) >= ((b - a) & M). `a <= b` alone is not a comparison; it yields
// the LessEqPair that the second <= completes.
#pragma once

template <class T, T M>
class Cyclic {
  static_assert((M & (M + 1)) == 0, "M is a mask: one less than a power of two");

 public:
  struct LessEqPair {
    T a;
    T b;
    bool operator<=(Cyclic c) const {
      return ((c.value_ - a) & M) >= ((b - a) & M);
    }
  };

  Cyclic() = default;
  Cyclic(T v) : value_(v & M) {}

  operator T() const { return value_; }

  Cyclic& operator++() {
    value_ = (value_ + 1) & M;
    return *this;
  }
  Cyclic operator++(int) {
    Cyclic old = *this;
    ++*this;
    return old;
  }
  Cyclic& operator--() {
    value_ = (value_ - 1) & M;
    return *this;
  }
  Cyclic operator+(const Cyclic& b) const { return Cyclic((value_ + b.value_) & M); }
  LessEqPair operator<=(Cyclic b) const { return LessEqPair{value_, b.value_}; }

 private:
  T value_ = 0;
};
