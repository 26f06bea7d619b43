#include "asn1/ber_encoder.h"

#include <string>

#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/strings.h"
#include "asn1/values.h"

namespace ASN1 {

namespace {

// Whether a value is encoded primitive: everything but SEQUENCE and SEQUENCE OF; a CHOICE and
// an open type answer for the value they hold.
class PrimitiveChecker : public ConstVisitor {
 public:
  bool do_visit(const SEQUENCE_OF_Base&) override { return false; }
  bool do_visit(const CHOICE& value) override {
    return value.choice == nullptr || value.choice->accept(*this);
  }
  bool do_visit(const OpenData& value) override {
    return value.data == nullptr || value.data->accept(*this);
  }
  bool preVisitExtensionRoots(const SEQUENCE&) override { return false; }
};

bool is_primitive(const AbstractData& value) {
  PrimitiveChecker checker;
  return value.accept(checker);
}

void put_integer(std::vector<char>& out, int32_t v) {
  for (unsigned i = getIntegerDataLength(v); i > 0; --i)
    out.push_back(static_cast<char>(static_cast<uint32_t>(v) >> (8 * (i - 1))));
}

}  // namespace

unsigned getIntegerDataLength(int32_t v) {
  unsigned n = 4;
  uint32_t u = static_cast<uint32_t>(v);
  while (n > 1) {
    uint32_t top9 = (u >> (8 * n - 9)) & 0x1FF;
    if (top9 != 0 && top9 != 0x1FF) break;
    --n;
  }
  return n;
}

uint32_t BEREncoder::takeTag(const AbstractData& value) {
  uint32_t tag = tag_ == -1 ? value.type_info()->tag : static_cast<uint32_t>(tag_);
  tag_ = -1;
  return tag;
}

size_t BEREncoder::openHeader(const AbstractData& value, uint32_t tag) {
  uint8_t first = static_cast<uint8_t>((tag >> 16) & 0xC0);
  if (!is_primitive(value)) first |= 0x20;
  uint32_t number = tag & 0xFFFF;
  if (number < 31) {
    output_->push_back(static_cast<char>(first | number));
  } else {
    output_->push_back(static_cast<char>(first | 0x1F));
    char groups[3];
    int n = 0;
    do {
      groups[n++] = static_cast<char>(number & 0x7F);
      number >>= 7;
    } while (number != 0);
    while (n > 1) output_->push_back(static_cast<char>(groups[--n] | 0x80));
    output_->push_back(groups[0]);
  }
  return output_->size();
}

void BEREncoder::closeHeader(size_t at) {
  size_t length = output_->size() - at;
  char octets[5];
  int n = 0;
  if (length < 128) {
    octets[n++] = static_cast<char>(length);
  } else {
    int count = 0;
    for (size_t l = length; l != 0; l >>= 8) ++count;
    octets[n++] = static_cast<char>(0x80 | count);
    for (int i = count - 1; i >= 0; --i) octets[n++] = static_cast<char>(length >> (8 * i));
  }
  output_->insert(output_->begin() + static_cast<std::ptrdiff_t>(at), octets, octets + n);
}

bool BEREncoder::primitive(const AbstractData& value, const char* content, size_t n) {
  size_t at = openHeader(value, takeTag(value));
  output_->insert(output_->end(), content, content + n);
  closeHeader(at);
  return true;
}

bool BEREncoder::do_visit(const Null& value) { return primitive(value, nullptr, 0); }

bool BEREncoder::do_visit(const BOOLEAN& value) {
  char octet = value.value ? static_cast<char>(0xFF) : 0;
  return primitive(value, &octet, 1);
}

bool BEREncoder::do_visit(const INTEGER& value) {
  std::vector<char> content;
  put_integer(content, value.value);
  return primitive(value, content.data(), content.size());
}

bool BEREncoder::do_visit(const ENUMERATED& value) {
  std::vector<char> content;
  put_integer(content, value.value);
  return primitive(value, content.data(), content.size());
}

bool BEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> content;
  return value.encodeCommon(content) && primitive(value, content.data(), content.size());
}

bool BEREncoder::do_visit(const BIT_STRING& value) {
  if (value.totalBits < 0) return false;
  size_t octets = (static_cast<size_t>(value.totalBits) + 7) / 8;
  if (value.bitData.size() < octets) return false;
  std::vector<char> content;
  content.reserve(octets + 1);
  content.push_back(static_cast<char>((8 - value.totalBits % 8) % 8));
  content.insert(content.end(), value.bitData.begin(),
                 value.bitData.begin() + static_cast<std::ptrdiff_t>(octets));
  return primitive(value, content.data(), content.size());
}

bool BEREncoder::do_visit(const OCTET_STRING& value) {
  return primitive(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const AbstractString& value) {
  return primitive(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const BMPString& value) {
  std::vector<char> content;
  content.reserve(value.size() * 2);
  for (wchar_t c : value) {
    if (!in_bmp(c)) return false;
    content.push_back(static_cast<char>(static_cast<uint32_t>(c) >> 8));
    content.push_back(static_cast<char>(c));
  }
  return primitive(value, content.data(), content.size());
}

bool BEREncoder::do_visit(const GeneralizedTime& value) {
  std::string text = value.get();
  return primitive(value, text.data(), text.size());
}

bool BEREncoder::do_visit(const CHOICE& value) {
  if (value.choiceID < 0 || value.choice == nullptr) return false;
  uint32_t tag = takeTag(value);
  size_t at = 0;
  if (tag != 0) at = openHeader(value, tag);
  tag_ = context_tag(static_cast<uint32_t>(value.choiceID));
  if (!value.choice->accept(*this)) return false;
  if (tag != 0) closeHeader(at);
  return true;
}

bool BEREncoder::do_visit(const OpenData& value) {
  uint32_t tag = takeTag(value);
  if (!value.data && !value.buf) return false;
  size_t at = 0;
  if (tag != 0) at = openHeader(value, tag);
  if (value.data) {
    if (!value.data->accept(*this)) return false;
  } else {
    output_->insert(output_->end(), value.buf->begin(), value.buf->end());
  }
  if (tag != 0) closeHeader(at);
  return true;
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  size_t at = openHeader(value, takeTag(value));
  for (const AbstractData* element : value.container) {
    tag_ = -1;
    if (!element->accept(*this)) return false;
  }
  closeHeader(at);
  return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& seq) {
  sequenceStarts_.push_back(openHeader(seq, takeTag(seq)));
  return true;
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& seq, int index) {
  const AbstractData* field = seq.fields[index];
  if (field == nullptr) return false;
  tag_ = context_tag(static_cast<uint32_t>(index));
  return field->accept(*this);
}

bool BEREncoder::visitKnownExtension(const SEQUENCE& seq, int index) {
  return visitExtensionRoot(seq, index);
}

bool BEREncoder::afterVisitSequence(const SEQUENCE&) {
  closeHeader(sequenceStarts_.back());
  sequenceStarts_.pop_back();
  return true;
}

}  // namespace ASN1
