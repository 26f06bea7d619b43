// Smart_pointer: an intrusive reference-counting handle.
//
// The object carries its own count; a handle designates at most one object (null is a valid
// value). Copying a handle adds one to the count, destroying or reassigning it takes one off, and
// the last handle to let go gives the object back. What "giving back" means is the object type's
// business: for each T, two functions are found by argument-dependent lookup:
//   uint32_t& smart_pointer_count(T&)   the count
//   void smart_pointer_give_back(T*)    called by the last handle in place of taking the count
//                                       from 1 to 0 (or when it finds the count at 0 already)
// Dereferencing a null handle ends the process through SmartPtrAssertion.
#pragma once

#include <cstdint>

// Writes "SMART POINTER ASSERTION!" to the log stream and terminates.
[[noreturn]] void SmartPtrAssertion();
// Writes "SHARED POINTER ASSERTION!" to the log stream and terminates.
[[noreturn]] void SharedPtrAssertion();

template <class T>
class Smart_pointer {
 public:
  Smart_pointer() = default;
  explicit Smart_pointer(T* p) : p_(p) { acquire(p_); }
  Smart_pointer(const Smart_pointer& other) : p_(other.p_) { acquire(p_); }
  Smart_pointer(Smart_pointer&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  // Converts a handle on a derived type (a status subclass) to a handle on its base.
  template <class U>
  Smart_pointer(const Smart_pointer<U>& other) : p_(other.get()) { acquire(p_); }
  ~Smart_pointer() { release(p_); }

  Smart_pointer& operator=(const Smart_pointer& other) { return assign(other.p_); }
  Smart_pointer& operator=(Smart_pointer&& other) noexcept {
    if (this != &other) {
      T* old = p_;
      p_ = other.p_;
      other.p_ = nullptr;
      release(old);
    }
    return *this;
  }
  // Lets go of the current object and designates p (count + 1).
  Smart_pointer& operator=(T* p) { return assign(p); }

  T* get() const { return p_; }
  T* operator->() const {
    if (!p_) SmartPtrAssertion();
    return p_;
  }
  T& operator*() const { return *operator->(); }
  bool is_null() const { return p_ == nullptr; }
  explicit operator bool() const { return p_ != nullptr; }
  // Lets go of the object; the handle is null afterwards.
  void reset() { assign(nullptr); }

 protected:
  Smart_pointer& assign(T* p) {
    acquire(p);
    T* old = p_;
    p_ = p;
    release(old);
    return *this;
  }
  // Designates p, whose count already includes this handle, on a handle that is null: there is
  // nothing to let go of.
  void adopt_on_null(T* p) { p_ = p; }
  // As adopt_on_null, on a handle whose object other handles hold too (count above 1): letting go
  // only takes one off the count.
  void adopt_from_shared(T* p) {
    --smart_pointer_count(*p_);
    p_ = p;
  }

 private:
  static void acquire(T* p) {
    if (p) ++smart_pointer_count(*p);
  }
  static void release(T* p) {
    if (!p) return;
    uint32_t& count = smart_pointer_count(*p);
    if (count > 1)
      --count;
    else
      smart_pointer_give_back(p);
  }

  T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const Smart_pointer<T>& a, const Smart_pointer<U>& b) {
  return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const Smart_pointer<T>& a, const Smart_pointer<U>& b) {
  return a.get() != b.get();
}
