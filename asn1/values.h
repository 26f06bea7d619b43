// The simple value classes: NULL, BOOLEAN, INTEGER (plain, named, ranged), ENUMERATED,
// OBJECT IDENTIFIER, BIT STRING and OCTET STRING.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

// A value whose record starts with a ConstrainedInfo.
class ConstrainedObject : public AbstractData {
 public:
  const ConstrainedInfo* info() const { return static_cast<const ConstrainedInfo*>(info_); }

  // Whether the value (or size) range reads as unsigned: constrained with lowerLimit >= 0.
  bool unsigned_range() const {
    return info()->constraintType != Unconstrained && info()->lowerLimit >= 0;
  }

 protected:
  using AbstractData::AbstractData;
};

class Null : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const void* info);
  explicit Null(const void* info = &theInfo) : AbstractData(info) {}

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

class BOOLEAN : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const void* info);
  explicit BOOLEAN(bool v = false, const void* info = &theInfo) : AbstractData(info), value(v) {}
  BOOLEAN& operator=(bool v) {
    value = v;
    return *this;
  }
  bool getValue() const { return value; }

  bool value;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// A 32-bit INTEGER, read as unsigned when its record has a range with a non-negative lower
// bound, as signed otherwise.
class INTEGER : public ConstrainedObject {
 public:
  static const ConstrainedInfo theInfo;
  static AbstractData* create(const void* info);
  explicit INTEGER(int32_t v = 0, const void* info = &theInfo)
      : ConstrainedObject(info), value(v) {}

  void setValue(int32_t v) { value = v; }
  int32_t getValue() const { return value; }
  INTEGER& operator=(int32_t v) {
    value = v;
    return *this;
  }
  // Range check: unsigned comparison when lowerLimit >= 0, signed otherwise.
  bool isStrictValid() const;

  int32_t value;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

class IntegerWithNamedNumber : public INTEGER {
 public:
  explicit IntegerWithNamedNumber(int32_t v, const void* info) : INTEGER(v, info) {}
  static AbstractData* create(const void* info);
  const NamedIntegerInfo* info() const { return static_cast<const NamedIntegerInfo*>(info_); }

  // True and the name when the value has one.
  bool getName(std::string& name) const;
  // The value of the entry named `name`; false (value unchanged) when none is.
  bool setFromName(const std::string& name);

 protected:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// INTEGER with a record of its own: Constrained_INTEGER<FixedConstraint, 0, 1023>.
template <ConstraintType Type, int32_t Lower, uint32_t Upper>
class Constrained_INTEGER : public INTEGER {
 public:
  static const ConstrainedInfo theInfo;
  explicit Constrained_INTEGER(uint32_t v = 0) : INTEGER(static_cast<int32_t>(v), &theInfo) {}
  uint32_t getValue() const { return static_cast<uint32_t>(value); }
  Constrained_INTEGER& operator=(uint32_t v) {
    value = static_cast<int32_t>(v);
    return *this;
  }
};
template <ConstraintType Type, int32_t Lower, uint32_t Upper>
const ConstrainedInfo Constrained_INTEGER<Type, Lower, Upper>::theInfo = {
    {&create_as<Constrained_INTEGER<Type, Lower, Upper>>, TagInteger}, Type, Lower, Upper};

// ENUMERATED: the value is the enumerator's number (asn1/type_info.h, EnumeratedInfo).
class ENUMERATED : public AbstractData {
 public:
  static AbstractData* create(const void* info);
  explicit ENUMERATED(const void* info) : AbstractData(info), value(0) {}

  const EnumeratedInfo* info() const { return static_cast<const EnumeratedInfo*>(info_); }
  ENUMERATED& operator=(int32_t v) {
    value = v;
    return *this;
  }
  int32_t asInt() const { return value; }
  int32_t getMaximum() const { return info()->maxEnumValue; }
  bool extendable() const { return info()->extendable; }
  bool isStrictlyValid() const { return value <= info()->maxEnumValue; }

  // The entry of the first enumerator whose number is the value, or null; the name is the
  // entry up to an "=" (enum_name_length).
  const char* getName() const;
  // The number of the entry named `name` (true); otherwise the value becomes maxEnumValue + 1
  // and the result is false.
  bool setFromName(const std::string& name);

  int32_t value;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// Length of the name in an ENUMERATED names entry: the text before "=" (entries may carry
// their number as "name=number").
size_t enum_name_length(const char* entry);

class OBJECT_IDENTIFIER : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const void* info);
  explicit OBJECT_IDENTIFIER(const void* info = &theInfo) : AbstractData(info) {}

  // X.690 8.19 contents octets: the first two arcs as one sub-identifier, each in base 128.
  // Fails, appending nothing, for fewer than two arcs, a first arc above 2 or a second arc of
  // 40 or more under a first arc of 0 or 1: those values would decode as others.
  bool encodeCommon(std::vector<char>& octets) const;
  bool decodeCommon(const char* octets, size_t length);

  std::vector<uint32_t> value;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// Bits packed from the most significant bit of byte 0.
class BIT_STRING : public ConstrainedObject {
 public:
  static const ConstrainedInfo theInfo;
  static AbstractData* create(const void* info);
  explicit BIT_STRING(const void* info = &theInfo) : ConstrainedObject(info), totalBits(0) {}

  int32_t size() const { return totalBits; }
  bool operator[](unsigned i) const {
    return i < static_cast<unsigned>(totalBits) && (bitData[i / 8] & (0x80 >> (i % 8)));
  }

  int32_t totalBits;
  std::vector<char> bitData;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

class OCTET_STRING : public ConstrainedObject, public std::vector<char> {
 public:
  static const ConstrainedInfo theInfo;
  static AbstractData* create(const void* info);
  explicit OCTET_STRING(const void* info = &theInfo) : ConstrainedObject(info) {}
  OCTET_STRING(size_t count, char fill, const void* info = &theInfo)
      : ConstrainedObject(info), std::vector<char>(count, fill) {}
  explicit OCTET_STRING(const std::vector<char>& bytes, const void* info = &theInfo)
      : ConstrainedObject(info), std::vector<char>(bytes) {}

  operator std::string() const { return std::string(data(), size()); }
  OCTET_STRING& operator=(const std::string& s) {
    assign(s.begin(), s.end());
    return *this;
  }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1
