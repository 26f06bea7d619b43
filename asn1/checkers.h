// Constraint checking: validity (what an extensible type may carry beyond its root), strict
// validity (the root constraints), and a tracer that names the path to the first invalid
// component in one line.
#pragma once

#include <ostream>
#include <sstream>

#include "asn1/visitor.h"

namespace ASN1 {

class ValidChecker : public ConstVisitor {
 public:
  explicit ValidChecker(bool strict = false) : strict_(strict) {}

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
  bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
  bool visitKnownExtension(const SEQUENCE& seq, int index) override;

 private:
  bool strict_;
};

class StrictlyValidChecker : public ValidChecker {
 public:
  StrictlyValidChecker() : ValidChecker(true) {}
};

class InvalidTracer : public ConstVisitor {
 public:
  std::string message() const { return strm.str(); }

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
  bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
  bool visitKnownExtension(const SEQUENCE& seq, int index) override;

 private:
  bool size(const char* kind, const struct ConstrainedInfo* info, size_t n);

  std::ostringstream strm;
};

// Checks `data`; when it is invalid writes `str`, the path and complaint and an end of line to
// `os`. Returns whether the value is valid.
bool trace_invalid(std::ostream& os, const char* str, const AbstractData& data);

}  // namespace ASN1
