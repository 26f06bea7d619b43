// The root of every ASN.1 value, the two global size limits and small shared helpers.
//
// A value is an object of one of a few runtime classes (asn1/values.h, strings.h, sequence.h,
// ...) that points to its constant type-information record (asn1/type_info.h). Values are trees
// of owned objects: copies are deep, comparison is three-way between values of the same record,
// and every operation reports failure through a bool result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ios>
#include <string>

#include "asn1/type_info.h"

namespace ASN1 {

class Visitor;
class ConstVisitor;

// Limits of the aligned PER decoder: elements of a SEQUENCE OF (and entries of a SEQUENCE's
// extension bitmap), and octets, bits or characters of a string.
extern unsigned MaximumArraySize;
extern unsigned MaximumStringSize;

class AbstractData {
 public:
  virtual ~AbstractData() = default;

  // Value objects come from the thread's ValuePool.
  static void* operator new(size_t size);
  static void operator delete(void* p, size_t size) noexcept;

  int compare(const AbstractData& other) const { return do_compare(other); }
  AbstractData* clone() const { return do_clone(); }
  bool accept(Visitor& v) { return do_accept(v); }
  bool accept(ConstVisitor& v) const { return do_accept(v); }

  const void* info() const { return info_; }
  const TypeInfo* type_info() const { return static_cast<const TypeInfo*>(info_); }

  // Constraint checks (asn1/checkers.cpp).
  bool isValid() const;
  bool isStrictlyValid() const;

  // Value notation (asn1/avn_encoder.cpp, asn1/avn_decoder.cpp).
  std::string asValueNotation() const;
  std::ios_base::iostate print_on(std::ostream& os) const;
  bool setFromValueNotation(const std::string& text);
  std::ios_base::iostate get_from(std::istream& is);

 protected:
  explicit AbstractData(const void* info) : info_(info) {}
  AbstractData(const AbstractData&) = default;
  AbstractData& operator=(const AbstractData&) = default;

  // `other` is a value of the same record; the caller guarantees it.
  virtual int do_compare(const AbstractData& other) const = 0;
  virtual AbstractData* do_clone() const = 0;
  virtual bool do_accept(Visitor& v) = 0;
  virtual bool do_accept(ConstVisitor& v) const = 0;

  const void* info_;
};

// The create() of a record whose values are objects of the generated class T (T's default
// constructor builds the value from T::theInfo).
template <class T>
AbstractData* create_as(const void*) {
  return new T;
}

// The create() of a record whose values are objects of class T built from the record itself
// (T(info)), as the typed SEQUENCE_OF views are.
template <class T>
AbstractData* create_view(const void* info) {
  return new T(info);
}

// A deep copy made through the value's record, so the copy has the class the record creates;
// Base is the runtime class, whose assignment copies the contents.
template <class Base>
AbstractData* clone_through_record(const Base& value) {
  AbstractData* copy = value.type_info()->create(value.info());
  *static_cast<Base*>(copy) = value;
  return copy;
}

// The number of bits that code the numbers 0..n-1: 0 for n = 1, 32 for n = 0 (a full 32-bit
// range wraps to 0).
unsigned CountBits(uint32_t n);

// Byte-wise comparison as unsigned values: the difference of the first unequal pair; a proper
// prefix is smaller (-1 or 1).
int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2,
                                const char* last2);

// Value notation on streams: output for traces, input for the test controller.
std::ostream& operator<<(std::ostream& os, const AbstractData& value);
std::istream& operator>>(std::istream& is, AbstractData& value);

}  // namespace ASN1
