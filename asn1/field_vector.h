// FieldVector: the field pointers of a SEQUENCE, held in the object itself up to kInline of them
// and on the heap beyond. It has the part of std::vector's interface that the value classes and
// the generated code use; copies copy the pointers, as a vector's would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

namespace ASN1 {

class AbstractData;

class FieldVector {
 public:
  typedef AbstractData* value_type;
  typedef AbstractData** iterator;
  typedef AbstractData* const* const_iterator;
  static constexpr size_t kInline = 4;

  FieldVector() = default;
  FieldVector(const FieldVector& other) { assign(other.begin(), other.end()); }
  FieldVector& operator=(const FieldVector& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  FieldVector(FieldVector&& other) noexcept { swap(other); }
  FieldVector& operator=(FieldVector&& other) noexcept {
    swap(other);
    return *this;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return heap_ ? capacity_ : kInline; }
  AbstractData*& operator[](size_t i) { return data()[i]; }
  AbstractData* const& operator[](size_t i) const { return data()[i]; }
  iterator begin() { return data(); }
  iterator end() { return data() + size_; }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size_; }
  AbstractData** data() { return heap_ ? heap_.get() : inline_; }
  AbstractData* const* data() const { return heap_ ? heap_.get() : inline_; }

  void reserve(size_t n) {
    if (n <= capacity()) return;
    std::unique_ptr<AbstractData*[]> grown(new AbstractData*[n]);
    std::copy(begin(), end(), grown.get());
    heap_ = std::move(grown);
    capacity_ = n;
  }
  void assign(size_t n, AbstractData* value) {
    size_ = 0;
    reserve(n);
    std::fill(data(), data() + n, value);
    size_ = n;
  }
  void assign(const_iterator first, const_iterator last) {
    size_t n = static_cast<size_t>(last - first);
    size_ = 0;
    reserve(n);
    std::copy(first, last, data());
    size_ = n;
  }
  void push_back(AbstractData* value) {
    if (size_ == capacity()) reserve(std::max<size_t>(2 * size_, kInline));
    data()[size_++] = value;
  }
  void clear() { size_ = 0; }
  void swap(FieldVector& other) noexcept {
    // Inline pointers are swapped element by element; heap arrays by their owners.
    std::swap(inline_, other.inline_);
    heap_.swap(other.heap_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  AbstractData* inline_[kInline] = {};
  std::unique_ptr<AbstractData*[]> heap_;
  size_t size_ = 0;
  size_t capacity_ = 0;  // of heap_
};

}  // namespace ASN1
