// The two visitor interfaces through which every codec, printer, parser and checker walks a
// value, and the fixed walks over a SEQUENCE's fields.
//
// A value's accept() calls the one operation for its own kind; a SEQUENCE runs visit() below,
// which calls the SEQUENCE hooks field by field. Visitor changes values (decoders, the
// value-notation parser); ConstVisitor only reads them (encoders, printer, checkers).
#pragma once

namespace ASN1 {

class AbstractData;
class Null;
class BOOLEAN;
class INTEGER;
class IntegerWithNamedNumber;
class ENUMERATED;
class OBJECT_IDENTIFIER;
class OCTET_STRING;
class BIT_STRING;
class AbstractString;
class BMPString;
class CHOICE;
class SEQUENCE;
class SEQUENCE_OF_Base;
class OpenData;
class TypeConstrainedOpenData;
class GeneralizedTime;

class Visitor {
 public:
  // Return codes of the SEQUENCE hooks.
  enum VisitSeqResult { FAIL = 0, STOP = 1, NO_EXTENSION = 2, CONTINUE = 3 };

  virtual ~Visitor() = default;

  virtual bool do_visit(Null& value) = 0;
  virtual bool do_visit(BOOLEAN& value) = 0;
  virtual bool do_visit(INTEGER& value) = 0;
  virtual bool do_visit(IntegerWithNamedNumber& value);
  virtual bool do_visit(ENUMERATED& value) = 0;
  virtual bool do_visit(OBJECT_IDENTIFIER& value) = 0;
  virtual bool do_visit(OCTET_STRING& value) = 0;
  virtual bool do_visit(BIT_STRING& value) = 0;
  virtual bool do_visit(AbstractString& value) = 0;
  virtual bool do_visit(BMPString& value) = 0;
  virtual bool do_visit(CHOICE& value) = 0;
  virtual bool do_visit(SEQUENCE_OF_Base& value) = 0;
  virtual bool do_visit(OpenData& value) = 0;
  virtual bool do_revisit(OpenData& value) = 0;
  virtual bool do_visit(TypeConstrainedOpenData& value) = 0;
  virtual bool do_visit(GeneralizedTime& value) = 0;

  virtual int preVisitExtensionRoots(SEQUENCE& seq);
  virtual int visitExtensionRoot(SEQUENCE& seq, int index, int optionalId);
  virtual int preVisitExtensions(SEQUENCE& seq);
  virtual int visitKnownExtension(SEQUENCE& seq, int index, int optionalId);
  virtual bool visitUnknownExtensions(SEQUENCE& seq);

  // Walks every root field (absent optional ones too: the visitor decides presence), then the
  // known extensions, steered by the hooks' codes.
  bool visit(SEQUENCE& seq);
};

class ConstVisitor {
 public:
  virtual ~ConstVisitor() = default;

  virtual bool do_visit(const AbstractData& value);
  virtual bool do_visit(const Null& value);
  virtual bool do_visit(const BOOLEAN& value);
  virtual bool do_visit(const INTEGER& value);
  virtual bool do_visit(const IntegerWithNamedNumber& value);
  virtual bool do_visit(const ENUMERATED& value);
  virtual bool do_visit(const OBJECT_IDENTIFIER& value);
  virtual bool do_visit(const BIT_STRING& value);
  virtual bool do_visit(const OCTET_STRING& value);
  virtual bool do_visit(const AbstractString& value);
  virtual bool do_visit(const BMPString& value);
  virtual bool do_visit(const CHOICE& value);
  virtual bool do_visit(const OpenData& value);
  virtual bool do_visit(const GeneralizedTime& value);
  virtual bool do_visit(const SEQUENCE_OF_Base& value);

  virtual bool preVisitExtensionRoots(const SEQUENCE& seq);
  virtual bool visitExtensionRoot(const SEQUENCE& seq, int index);
  virtual bool preVisitExtensions(const SEQUENCE& seq);
  virtual bool visitKnownExtension(const SEQUENCE& seq, int index);
  virtual bool afterVisitSequence(const SEQUENCE& seq);

  // Walks the present root fields, then the present known extensions.
  bool visit(const SEQUENCE& seq);
};

}  // namespace ASN1
