#include "asn1/visitor.h"

#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/strings.h"
#include "asn1/values.h"

namespace ASN1 {

bool Visitor::do_visit(IntegerWithNamedNumber& value) {
  return do_visit(static_cast<INTEGER&>(value));
}
int Visitor::preVisitExtensionRoots(SEQUENCE&) { return CONTINUE; }
int Visitor::visitExtensionRoot(SEQUENCE&, int, int) { return FAIL; }
int Visitor::preVisitExtensions(SEQUENCE&) { return CONTINUE; }
int Visitor::visitKnownExtension(SEQUENCE&, int, int) { return FAIL; }
bool Visitor::visitUnknownExtensions(SEQUENCE&) { return true; }

bool Visitor::visit(SEQUENCE& seq) {
  const SequenceInfo* r = seq.info();
  int code = preVisitExtensionRoots(seq);
  if (code < NO_EXTENSION) return code != FAIL;
  int last_id = -1;
  for (uint32_t i = 0; i < r->numberOfRoots; ++i) {
    int id = r->fieldIds[i];
    int c = visitExtensionRoot(seq, static_cast<int>(i), id);
    if (c < NO_EXTENSION) return c != FAIL;
    if (id != -1) last_id = id;
  }
  if (code != CONTINUE) return true;
  int c = preVisitExtensions(seq);
  if (c != CONTINUE) return c != FAIL;
  for (unsigned i = r->numberOfRoots; i < seq.fields.size(); ++i) {
    c = visitKnownExtension(seq, static_cast<int>(i), ++last_id);
    if (c != CONTINUE) return c != FAIL;
  }
  return visitUnknownExtensions(seq);
}

bool ConstVisitor::do_visit(const AbstractData&) { return true; }
bool ConstVisitor::do_visit(const Null& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const BOOLEAN& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const INTEGER& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const IntegerWithNamedNumber& v) {
  return do_visit(static_cast<const INTEGER&>(v));
}
bool ConstVisitor::do_visit(const ENUMERATED& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const OBJECT_IDENTIFIER& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const BIT_STRING& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const OCTET_STRING& v) {
  return do_visit(static_cast<const AbstractData&>(static_cast<const ConstrainedObject&>(v)));
}
bool ConstVisitor::do_visit(const AbstractString& v) {
  return do_visit(static_cast<const AbstractData&>(static_cast<const ConstrainedObject&>(v)));
}
bool ConstVisitor::do_visit(const BMPString& v) {
  return do_visit(static_cast<const AbstractData&>(static_cast<const ConstrainedObject&>(v)));
}
bool ConstVisitor::do_visit(const CHOICE& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const OpenData& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const GeneralizedTime& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const SEQUENCE_OF_Base& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::preVisitExtensionRoots(const SEQUENCE& seq) {
  return do_visit(static_cast<const AbstractData&>(seq));
}
bool ConstVisitor::visitExtensionRoot(const SEQUENCE&, int) { return false; }
bool ConstVisitor::preVisitExtensions(const SEQUENCE&) { return true; }
bool ConstVisitor::visitKnownExtension(const SEQUENCE&, int) { return false; }
bool ConstVisitor::afterVisitSequence(const SEQUENCE&) { return true; }

bool ConstVisitor::visit(const SEQUENCE& seq) {
  const SequenceInfo* r = seq.info();
  if (!preVisitExtensionRoots(seq)) return false;
  int last_id = -1;
  for (uint32_t i = 0; i < r->numberOfRoots; ++i) {
    int id = r->fieldIds[i];
    if (id != -1) {
      last_id = id;
      if (!seq.hasOptionalField(static_cast<unsigned>(id))) continue;
    }
    if (!visitExtensionRoot(seq, static_cast<int>(i))) return false;
  }
  if (seq.extensionMap.size() == 0) return afterVisitSequence(seq);
  if (!preVisitExtensions(seq)) return false;
  for (unsigned i = r->numberOfRoots; i < seq.fields.size(); ++i) {
    ++last_id;
    if (seq.hasOptionalField(static_cast<unsigned>(last_id)) &&
        !visitKnownExtension(seq, static_cast<int>(i)))
      return false;
  }
  return afterVisitSequence(seq);
}

}  // namespace ASN1
