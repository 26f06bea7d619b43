// SEQUENCE OF and SET OF: an owned list of element values built from the element record.
#pragma once

#include <cstddef>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/values.h"

namespace ASN1 {

class SEQUENCE_OF_Base : public ConstrainedObject {
 public:
  typedef std::vector<AbstractData*> Container;

  static AbstractData* create(const void* info);
  explicit SEQUENCE_OF_Base(const void* info) : ConstrainedObject(info) {}
  SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other);
  SEQUENCE_OF_Base& operator=(const SEQUENCE_OF_Base& other);
  ~SEQUENCE_OF_Base() override;

  const SequenceOfInfo* info() const { return static_cast<const SequenceOfInfo*>(info_); }
  size_t size() const { return container.size(); }
  bool empty() const { return container.empty(); }
  // A new default element (not inserted).
  AbstractData* create_element() const;

  // Growing appends default elements; shrinking deletes the elements from n on.
  void resize(size_t n);
  void clear();
  // Inserts `count` clones of `value` before position `pos`.
  void insert(size_t pos, size_t count, const AbstractData& value);
  // Inserts clones of [first, last) before position `pos`.
  void insert(size_t pos, Container::const_iterator first, Container::const_iterator last);
  // Deletes the elements [first, last) and removes them.
  void erase(size_t first, size_t last);
  // Takes ownership of `element` and appends it.
  void push_back_owned(AbstractData* element) { container.push_back(element); }
  void swap(SEQUENCE_OF_Base& other) { container.swap(other.container); }

  bool isValid() const;
  bool isStrictlyValid() const;

  Container container;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

struct EmptyConstraint {};

// A typed view whose elements are objects of class T. Its record names
// create_view<SEQUENCE_OF<T>> and T's record as the element record.
template <class T, class Constraint = EmptyConstraint>
class SEQUENCE_OF : public SEQUENCE_OF_Base {
 public:
  template <class Base>
  class Iterator {
   public:
    Iterator() = default;
    explicit Iterator(Base it) : it_(it) {}
    T& operator*() const { return *static_cast<T*>(*it_); }
    T* operator->() const { return static_cast<T*>(*it_); }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const Iterator& o) const { return it_ == o.it_; }
    bool operator!=(const Iterator& o) const { return it_ != o.it_; }
    Base base() const { return it_; }

   private:
    Base it_{};
  };
  typedef Iterator<Container::iterator> iterator;
  typedef Iterator<Container::const_iterator> const_iterator;

  explicit SEQUENCE_OF(const void* info) : SEQUENCE_OF_Base(info) {}

  iterator begin() { return iterator(container.begin()); }
  iterator end() { return iterator(container.end()); }
  const_iterator begin() const { return const_iterator(container.begin()); }
  const_iterator end() const { return const_iterator(container.end()); }
  T& operator[](size_t i) { return *static_cast<T*>(container[i]); }
  const T& operator[](size_t i) const { return *static_cast<const T*>(container[i]); }
  // Appends a clone of `element`.
  void push_back(const T& element) { container.push_back(element.clone()); }
  // Destroys the element and removes it; returns the iterator after it.
  iterator erase(iterator pos) {
    size_t i = static_cast<size_t>(pos.base() - container.begin());
    SEQUENCE_OF_Base::erase(i, i + 1);
    return iterator(container.begin() + static_cast<std::ptrdiff_t>(i));
  }
};

template <class T, class Constraint = EmptyConstraint>
using SET_OF = SEQUENCE_OF<T, Constraint>;

}  // namespace ASN1
