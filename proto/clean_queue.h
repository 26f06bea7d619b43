// CleanQueue: a fixed ring of N handles (transmit and retransmission queues of link layers).
//
// It never allocates and refuses entries when full. A handle leaves the ring as soon as its entry
// is taken out or cleared, so a packet that nothing else holds goes back to its pool at once.
// The entries occupy `count` consecutive slots from `head`, wrapping at N; every other slot is
// null.
#pragma once

template <class T, unsigned N>
class CleanQueue {
  static_assert(N > 0, "a queue needs room");

 public:
  CleanQueue() = default;
  CleanQueue(const CleanQueue&) = delete;
  CleanQueue& operator=(const CleanQueue&) = delete;

  unsigned size() const { return N; }
  unsigned count() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Appends at the tail; false when full. The second form takes x over (x is left empty) when it
  // goes in.
  bool put(const T& x) { return put(T(x)); }
  bool put(T&& x) {
    if (count_ == N) return false;
    slots_[tail_] = static_cast<T&&>(x);
    tail_ = next(tail_);
    ++count_;
    return true;
  }

  // Inserts in front of the head: the next get() returns it. False when full.
  bool append(const T& x) { return append(T(x)); }
  bool append(T&& x) {
    if (count_ == N) return false;
    head_ = prev(head_);
    slots_[head_] = static_cast<T&&>(x);
    ++count_;
    return true;
  }

  // Takes the oldest entry out; false (out unchanged) when empty.
  bool get(T& out) {
    if (count_ == 0) return false;
    out = take(head_);
    head_ = next(head_);
    --count_;
    return true;
  }
  bool get(T* out) { return get(*out); }

  // Takes the most recently put entry out; false when empty.
  bool get_last(T* out) {
    if (count_ == 0) return false;
    tail_ = prev(tail_);
    *out = take(tail_);
    --count_;
    return true;
  }

  // True when not empty; copies the oldest entry to *out when out is not null.
  bool preview(T* out) const {
    if (count_ == 0) return false;
    if (out) *out = slots_[head_];
    return true;
  }

  // Releases every entry at once.
  void clear() {
    for (T& slot : slots_) slot = T();
    head_ = tail_ = count_ = 0;
  }

 private:
  static unsigned next(unsigned i) { return i + 1 == N ? 0 : i + 1; }
  static unsigned prev(unsigned i) { return i == 0 ? N - 1 : i - 1; }
  T take(unsigned i) {
    T x = static_cast<T&&>(slots_[i]);
    slots_[i] = T();
    return x;
  }

  T slots_[N]{};
  unsigned head_ = 0;
  unsigned tail_ = 0;
  unsigned count_ = 0;
};
