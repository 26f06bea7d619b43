// Aligned PER encoder (X.691, ALIGNED variant): appends a value tree's encoding to a byte
// vector.
//
// A read-only visitor. Bits are written most significant first; a new octet is appended as zero
// when its first bit is written, so the unused bits of the last octet are always 0. An
// operation fails on a value outside its type (a ranged INTEGER, ENUMERATED value or size out of
// range, a CHOICE without alternative, a character outside a table-coded alphabet); the caller
// then discards the partial output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class ConstrainedObject;
struct ConstrainedInfo;

class PEREncoder : public ConstVisitor {
 public:
  // X.691 10.9.3.6: the longest length of the unconstrained form without fragments; this codec
  // writes and reads no fragments, so no longer string or list has an encoding.
  static constexpr uint32_t kMaxUnfragmented = 16383;

  explicit PEREncoder(std::vector<char>& output) : output_(&output), bitsLeft_(8) {}

  void encodeSingleBit(bool b);
  // The low n bits of v (n up to 32).
  void encodeMultiBit(uint32_t v, unsigned n);
  void encodeBitMap(const std::vector<char>& bytes, unsigned n);
  void encodeByte(uint8_t v);
  void encodeBlock(const char* p, size_t n);
  void byteAlign() { bitsLeft_ = 8; }
  // X.691 10.6: a normally small non-negative whole number.
  void encodeSmallUnsigned(uint32_t v);
  // X.691 10.5: a constrained whole number v in lo..hi (modulo-2^32 arithmetic, see
  // PERDecoder::decodeUnsigned); false when v is out of range.
  bool encodeUnsigned(uint32_t v, int32_t lo, uint32_t hi);
  // X.691 10.9: ub above 65535 selects the unconstrained form (lengths up to kMaxUnfragmented).
  bool encodeLength(uint32_t n, uint32_t lb, uint32_t ub);
  // For an extensible constraint writes the extension bit (1 when v is outside the root range)
  // and returns it; true for no constraint or a lower bound only; false for a fixed range.
  bool encodeConstraint(const ConstrainedInfo* info, int32_t v);
  // The size n under the record's size constraint; `unbounded` tells whether the unconstrained
  // form was used.
  bool encodeConstrainedLength(const ConstrainedInfo* info, uint32_t n, bool& unbounded);
  // An open type: the value's own complete encoding (at least one octet) after its length.
  bool encodeAnyType(const AbstractData* value);

  bool do_visit(const Null& value) override;
  bool do_visit(const BOOLEAN& value) override;
  bool do_visit(const INTEGER& value) override;
  bool do_visit(const ENUMERATED& value) override;
  bool do_visit(const OBJECT_IDENTIFIER& value) override;
  bool do_visit(const BIT_STRING& value) override;
  bool do_visit(const OCTET_STRING& value) override;
  bool do_visit(const AbstractString& value) override;
  bool do_visit(const BMPString& value) override;
  bool do_visit(const CHOICE& value) override;
  bool do_visit(const OpenData& value) override;
  bool do_visit(const GeneralizedTime& value) override;
  bool do_visit(const SEQUENCE_OF_Base& value) override;

  bool preVisitExtensionRoots(const SEQUENCE& seq) override;
  bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
  bool preVisitExtensions(const SEQUENCE& seq) override;
  bool visitKnownExtension(const SEQUENCE& seq, int index) override;

 private:
  std::vector<char>* output_;
  unsigned bitsLeft_;
};

}  // namespace ASN1
