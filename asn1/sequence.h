// SEQUENCE: the fields (root fields in order, then the known extension additions), a bitmap of
// the optional root fields present and a bitmap of the extension additions present.
//
// Presence is decided by the bitmaps alone: an absent optional field may still hold a value.
// The extension bitmap may be longer than the known additions after a decode from a newer peer;
// the encoders look only at the known part.
#pragma once

#include <cstdint>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/field_vector.h"

namespace ASN1 {

class SEQUENCE : public AbstractData {
 public:
  // Bits from the most significant bit of byte 0; up to kInlineBits of them are held in the
  // object itself.
  class BitMap {
   public:
    unsigned size() const { return bitCount; }
    bool operator[](unsigned i) const {
      return i < bitCount && (bytes()[i / 8] & (0x80 >> (i % 8))) != 0;
    }
    void set(unsigned i) {
      if (i < bitCount) bytes()[i / 8] = static_cast<char>(bytes()[i / 8] | (0x80 >> (i % 8)));
    }
    void clear(unsigned i) {
      if (i < bitCount) bytes()[i / 8] = static_cast<char>(bytes()[i / 8] & ~(0x80 >> (i % 8)));
    }
    // Keeps the existing bits; new bits are clear.
    void resize(unsigned n);
    bool any() const;
    // Number of bits up to and including the last set bit among the first `limit` bits.
    unsigned used(unsigned limit) const;

   private:
    static constexpr unsigned kInlineBits = 64;
    char* bytes() { return bitCount <= kInlineBits ? inlineData : bitData.data(); }
    const char* bytes() const { return bitCount <= kInlineBits ? inlineData : bitData.data(); }

    unsigned bitCount = 0;
    char inlineData[kInlineBits / 8] = {};
    std::vector<char> bitData;  // only above kInlineBits
  };
  typedef ASN1::FieldVector FieldVector;

  static AbstractData* create(const void* info);
  // Builds every mandatory root field and the default extensions.
  explicit SEQUENCE(const void* info);
  SEQUENCE(const SEQUENCE& other);
  SEQUENCE& operator=(const SEQUENCE& other);
  ~SEQUENCE() override;

  const SequenceInfo* info() const { return static_cast<const SequenceInfo*>(info_); }
  unsigned numberOfFields() const { return static_cast<unsigned>(fields.size()); }
  AbstractData* getField(unsigned i) { return fields[i]; }
  const AbstractData* getField(unsigned i) const { return fields[i]; }
  // The optional id of root field i, or -1 for a mandatory field.
  int32_t optionalId(unsigned i) const { return info()->fieldIds[i]; }

  bool hasOptionalField(unsigned id) const;
  // Marks optional (or extension) field `id` present and creates field `index` if it is null.
  void includeOptionalField(unsigned id, unsigned index);
  void removeOptionalField(unsigned id);
  void swap(SEQUENCE& other);

  FieldVector fields;
  BitMap optionalMap;
  BitMap extensionMap;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  void clear_fields();
};

}  // namespace ASN1
