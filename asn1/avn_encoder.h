// Value-notation printer (X.680 value notation as the traces show it): one field per line,
// indented by nesting depth, names taken from the type records.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class AVNEncoder : public ConstVisitor {
 public:
  explicit AVNEncoder(std::ostream& os) : strm(os) {}

  bool do_visit(const Null& value) override;
  bool do_visit(const BOOLEAN& value) override;
  bool do_visit(const INTEGER& value) override;
  bool do_visit(const IntegerWithNamedNumber& value) override;
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
  bool spaces(int n);
  bool hex(const char* p, size_t n);
  // A quoted string; a '"' inside is written twice (X.680 12.14).
  bool quoted(const std::string& text);

  std::ostream& strm;
  int indent = 0;
  std::vector<bool> outputSeparators;
};

}  // namespace ASN1
