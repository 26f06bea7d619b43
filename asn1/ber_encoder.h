// BER encoder (X.690) with definite lengths and automatic tagging: field i of a SEQUENCE and
// alternative i of a CHOICE carry the context tag [i], implicit, except that a CHOICE keeps its
// own header inside the [i] wrapper; SEQUENCE OF elements keep their own tags.
//
// The content of a constructed value is written first and its length octets are inserted in
// front of it afterwards, so no length is computed twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class BEREncoder : public ConstVisitor {
 public:
  explicit BEREncoder(std::vector<char>& output) : output_(&output) {}

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
  bool visitKnownExtension(const SEQUENCE& seq, int index) override;
  bool afterVisitSequence(const SEQUENCE& seq) override;

 private:
  // Writes the identifier octets for `value` under the pending tag (or its record's) and
  // returns the position where its length goes.
  size_t openHeader(const AbstractData& value, uint32_t tag);
  // Inserts the length of everything written since `at`.
  void closeHeader(size_t at);
  bool primitive(const AbstractData& value, const char* content, size_t n);
  uint32_t takeTag(const AbstractData& value);

  std::vector<char>* output_;
  int64_t tag_ = -1;  // pending tag word; -1: the value's own record tag
  std::vector<size_t> sequenceStarts_;
};

// Minimal octets of v in 32-bit two's complement (1 to 4).
unsigned getIntegerDataLength(int32_t v);
// Context tag word [i].
inline uint32_t context_tag(uint32_t i) { return (0x80u << 16) | i; }

}  // namespace ASN1
