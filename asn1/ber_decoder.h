// BER decoder (X.690) for what BEREncoder writes: definite lengths only, automatic tags.
//
// Every header must fit in the data and in the constructed value around it; lengths of more
// than 4 octets, the indefinite form, tag numbers above 0xFFFF and integers of more than 4
// octets fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class CoderEnv;

class BERDecoder : public Visitor {
 public:
  struct Header {
    uint32_t tag;  // class bits << 16 | number
    bool constructed;
    const char* start;    // identifier octet
    const char* content;  // first content octet
    uint32_t length;
  };

  BERDecoder(const char* begin, const char* end, CoderEnv* env = nullptr);

  // Reads a header at the current position that fits within the current limit.
  bool decodeHeader(Header& h);

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
  int visitKnownExtension(SEQUENCE& seq, int index, int optionalId) override;
  bool visitUnknownExtensions(SEQUENCE& seq) override;

 private:
  const char* limit() const { return ends_.empty() ? end_ : ends_.back(); }
  // A header whose tag is the value's record tag, or any tag while an implicit tag is pending.
  bool typedHeader(const AbstractData& value, Header& h);
  // A primitive value's header and content; moves past it.
  bool content(const AbstractData& value, const char*& p, uint32_t& n);
  bool integer(const AbstractData& value, int32_t& out);
  // The alternative whose context tag comes next; continues after it.
  bool alternative(CHOICE& value);
  // Decodes `value` under a pending implicit tag and continues at the end of header `h`.
  bool implicitValue(AbstractData& value, const Header& h);
  // Field `index` of a SEQUENCE: absent when its tag does not come next (optional fields only).
  int field(SEQUENCE& seq, int index, int optionalId);

  CoderEnv* env_;
  const char* current_;
  const char* end_;
  std::vector<const char*> ends_;
  int implicitTags_ = 0;
};

}  // namespace ASN1
