// Aligned PER decoder (X.691, ALIGNED variant): reads an octet string into a value tree.
//
// A modifying visitor over a bounds-checked bit cursor on the caller's octets. Every read past
// the end of the data fails (no silent zero bits); so do lengths, counts and open types that
// run past the data or past their own length, and numbers of more than 4 octets. Values are not
// checked against their ranges: an INTEGER (0..1023) field coded in 16 bits may read 2000, and
// the caller decides what to answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class CoderEnv;
class ConstrainedObject;

class PERDecoder : public Visitor {
 public:
  PERDecoder(const char* begin, const char* end, CoderEnv* env = nullptr);

  // Bit cursor.
  size_t getBitsLeft() const;
  void byteAlign();
  // Continues at octet `p` (clamped to the end), at an octet boundary.
  void setPosition(const char* p);
  const char* getPosition() const { return current_; }
  bool atOctetBoundary() const { return bitsLeft_ == 8; }

  // Primitive readers; each fails without reading past the end.
  bool decodeSingleBit(bool& out);
  bool decodeMultiBit(unsigned n, uint32_t& out);
  bool decodeBitMap(std::vector<char>& bytes, unsigned n);
  // Octet-aligned: exactly n octets or failure.
  bool decodeBlock(char* buffer, size_t n);
  // X.691 10.5: a constrained whole number in lo..hi (arithmetic modulo 2^32, so an unsigned
  // range 0..4294967295 and a signed one -128..127 both work); out = lo + offset.
  bool decodeUnsigned(int32_t lo, uint32_t hi, uint32_t& out);
  // X.691 10.9: a length in lb..ub; ub above 65535 selects the unconstrained form (lengths up
  // to 16383; the fragmented form fails).
  bool decodeLength(uint32_t lb, uint32_t ub, uint32_t& out);
  // X.691 10.6: a normally small non-negative whole number.
  bool decodeSmallUnsigned(uint32_t& out);
  // The size of a string or list under its record's size constraint; `unbounded` tells whether
  // the unconstrained length form was read. A size above a root upper bound fails.
  bool decodeConstrainedLength(const ConstrainedObject& object, uint32_t& out, bool& unbounded);

  bool do_visit(Null& value) override;
  bool do_visit(BOOLEAN& value) override;
  bool do_visit(INTEGER& value) override;
  bool do_visit(ENUMERATED& value) override;
  bool do_visit(OBJECT_IDENTIFIER& value) override;
  bool do_visit(OCTET_STRING& value) override;
  bool do_visit(BIT_STRING& value) override;
  bool do_visit(AbstractString& value) override;
  bool do_visit(BMPString& value) override;
  bool do_visit(CHOICE& value) override;
  bool do_visit(SEQUENCE_OF_Base& value) override;
  bool do_visit(OpenData& value) override;
  bool do_revisit(OpenData& value) override;
  bool do_visit(TypeConstrainedOpenData& value) override;
  bool do_visit(GeneralizedTime& value) override;

  int preVisitExtensionRoots(SEQUENCE& seq) override;
  int visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) override;
  int preVisitExtensions(SEQUENCE& seq) override;
  int visitKnownExtension(SEQUENCE& seq, int index, int optionalId) override;
  bool visitUnknownExtensions(SEQUENCE& seq) override;

 private:
  size_t octetsLeft() const { return static_cast<size_t>(end_ - current_); }
  // An unconstrained length n followed by n octets: leaves `start` at the first content octet.
  bool openTypeStart(const char*& start, uint32_t& n);
  // Decodes `value` as the content of an open type of n octets at `start`, then continues after
  // it; fails when the content runs past its length.
  bool openTypeContent(AbstractData& value, const char* start, uint32_t n);

  CoderEnv* env_;
  const char* current_;
  const char* end_;
  unsigned bitsLeft_;
};

}  // namespace ASN1
