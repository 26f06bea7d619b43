#include "asn1/checkers.h"

#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/strings.h"
#include "asn1/values.h"

namespace ASN1 {

bool AbstractData::isValid() const {
  ValidChecker checker;
  return accept(checker);
}

bool AbstractData::isStrictlyValid() const {
  StrictlyValidChecker checker;
  return accept(checker);
}

bool ValidChecker::do_visit(const Null&) { return true; }
bool ValidChecker::do_visit(const BOOLEAN&) { return true; }

bool ValidChecker::do_visit(const INTEGER& value) {
  return value.isStrictValid() ||
         (!strict_ && value.info()->constraintType == ExtendableConstraint);
}

bool ValidChecker::do_visit(const ENUMERATED& value) {
  return value.isStrictlyValid() || (!strict_ && value.extendable());
}

bool ValidChecker::do_visit(const OBJECT_IDENTIFIER& value) { return !value.value.empty(); }

bool ValidChecker::do_visit(const BIT_STRING& value) {
  return value.totalBits >= 0 &&
         size_within(value.info(), static_cast<size_t>(value.totalBits), strict_);
}

bool ValidChecker::do_visit(const OCTET_STRING& value) {
  return size_within(value.info(), value.size(), strict_);
}

bool ValidChecker::do_visit(const AbstractString& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::do_visit(const BMPString& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::do_visit(const CHOICE& value) {
  if (value.choiceID < 0 || value.choice == nullptr) return false;
  uint32_t id = static_cast<uint32_t>(value.choiceID);
  if (id >= value.info()->numberOfRoots && (strict_ || !value.info()->extendable)) return false;
  return value.choice->accept(*this);
}

bool ValidChecker::do_visit(const OpenData& value) {
  return value.data ? value.data->accept(*this) : value.has_buf();
}

bool ValidChecker::do_visit(const GeneralizedTime& value) { return value.isStrictlyValid(); }

bool ValidChecker::do_visit(const SEQUENCE_OF_Base& value) {
  if (!size_within(value.info(), value.size(), strict_)) return false;
  for (const AbstractData* element : value.container)
    if (!element->accept(*this)) return false;
  return true;
}

bool ValidChecker::visitExtensionRoot(const SEQUENCE& seq, int index) {
  const AbstractData* field = seq.fields[index];
  return field != nullptr && field->accept(*this);
}

bool ValidChecker::visitKnownExtension(const SEQUENCE& seq, int index) {
  return visitExtensionRoot(seq, index);
}

bool InvalidTracer::do_visit(const INTEGER& value) {
  if (value.isStrictValid()) return true;
  const ConstrainedInfo* r = value.info();
  bool below;
  if (r->lowerLimit >= 0)
    below = static_cast<uint32_t>(value.value) < static_cast<uint32_t>(r->lowerLimit);
  else
    below = value.value < r->lowerLimit;
  if (value.unsigned_range())
    strm << " The INTEGER value " << static_cast<uint32_t>(value.value);
  else
    strm << " The INTEGER value " << value.value;
  if (below) {
    strm << " is smaller than lower bound " << r->lowerLimit;
    return false;
  }
  if (r->constraintType == ExtendableConstraint) {
    strm.str(std::string());
    return true;
  }
  strm << " is greater than upper bound " << r->upperLimit;
  return false;
}

bool InvalidTracer::do_visit(const ENUMERATED& value) {
  if (value.value <= value.getMaximum()) return true;
  strm << " This ENUMERATED has invalid value " << value.value;
  return false;
}

bool InvalidTracer::do_visit(const OBJECT_IDENTIFIER& value) {
  if (!value.value.empty()) return true;
  strm << " This OBJECT IDENTIFIER is not assigned";
  return false;
}

bool InvalidTracer::size(const char* kind, const ConstrainedInfo* r, size_t n) {
  uint64_t lower = r->lowerLimit > 0 ? static_cast<uint64_t>(r->lowerLimit) : 0;
  if (n < lower) {
    strm << " This " << kind << " has size " << n << " smaller than its lower bound " << lower;
    return false;
  }
  if (r->constraintType == FixedConstraint && n > r->upperLimit) {
    strm << " This " << kind << " has size " << n << " greater than its upper bound "
         << r->upperLimit;
    return false;
  }
  return true;
}

bool InvalidTracer::do_visit(const BIT_STRING& value) {
  return size("BIT STRING", value.info(),
              value.totalBits > 0 ? static_cast<size_t>(value.totalBits) : 0);
}

bool InvalidTracer::do_visit(const OCTET_STRING& value) {
  return size("OCTET STRING", value.info(), value.size());
}

bool InvalidTracer::do_visit(const AbstractString& value) {
  if (!size("AbstractString", value.info(), value.size())) return false;
  for (char c : value) {
    if (!value.legalCharacter(c)) {
      strm << " The character '" << c << "' is not valid for the string";
      return false;
    }
  }
  return true;
}

bool InvalidTracer::do_visit(const BMPString& value) {
  if (!size("BMPString", value.info(), value.size())) return false;
  size_t at = value.first_illegal_at();
  if (at == value.size()) return true;
  strm << " The character '" << static_cast<uint32_t>(value[at]) << "' is not valid for the string";
  return false;
}

bool InvalidTracer::do_visit(const CHOICE& value) {
  if (value.choiceID == CHOICE::unselected_ || value.choice == nullptr) {
    strm << (value.choiceID == CHOICE::unknownSelection_
                 ? " This selection is not understood by this decoder"
                 : " This CHOICE is not selected");
    return false;
  }
  const char* name = value.getSelectionName();
  strm << '.' << (name ? name : "");
  if (value.choice->accept(*this)) {
    strm.str(std::string());
    return true;
  }
  return false;
}

bool InvalidTracer::do_visit(const OpenData& value) {
  if (value.data) return value.data->accept(*this);
  if (value.buf) return true;
  strm << " This Open Type does not contain any valid data";
  return false;
}

bool InvalidTracer::do_visit(const GeneralizedTime& value) {
  if (value.isStrictlyValid()) return true;
  strm << " This GeneralizedTime is not valid";
  return false;
}

bool InvalidTracer::do_visit(const SEQUENCE_OF_Base& value) {
  if (!size("SEQUENCE OF", value.info(), value.size())) return false;
  for (size_t i = 0; i < value.size(); ++i) {
    InvalidTracer inner;
    if (!value.container[i]->accept(inner)) {
      strm << '[' << i << ']' << inner.message();
      return false;
    }
  }
  return true;
}

bool InvalidTracer::visitExtensionRoot(const SEQUENCE& seq, int index) {
  const AbstractData* field = seq.fields[index];
  if (field == nullptr) return false;
  InvalidTracer inner;
  if (field->accept(inner)) return true;
  strm << '.' << seq.info()->fieldNames[index] << inner.message();
  return false;
}

bool InvalidTracer::visitKnownExtension(const SEQUENCE& seq, int index) {
  return visitExtensionRoot(seq, index);
}

bool trace_invalid(std::ostream& os, const char* str, const AbstractData& data) {
  InvalidTracer tracer;
  if (data.accept(tracer)) return true;
  os << str << tracer.message() << '\n';
  return false;
}

}  // namespace ASN1
