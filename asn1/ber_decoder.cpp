#include "asn1/ber_decoder.h"

#include <string>

#include "asn1/ber_encoder.h"
#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/strings.h"
#include "asn1/values.h"

namespace ASN1 {

BERDecoder::BERDecoder(const char* begin, const char* end, CoderEnv* env)
    : env_(env), current_(begin), end_(end < begin ? begin : end) {}

bool BERDecoder::decodeHeader(Header& h) {
  const char* p = current_;
  const char* stop = limit();
  if (p >= stop) return false;
  uint8_t first = static_cast<uint8_t>(*p++);
  h.start = current_;
  h.constructed = (first & 0x20) != 0;
  uint32_t number = first & 0x1F;
  if (number == 31) {
    number = 0;
    uint8_t b;
    do {
      if (p >= stop) return false;
      b = static_cast<uint8_t>(*p++);
      number = (number << 7) | (b & 0x7F);
      if (number > 0xFFFF) return false;
    } while (b & 0x80);
  }
  h.tag = (static_cast<uint32_t>(first & 0xC0) << 16) | number;
  if (p >= stop) return false;
  uint8_t l = static_cast<uint8_t>(*p++);
  uint32_t length = l;
  if (l & 0x80) {
    unsigned n = l & 0x7F;
    if (n == 0 || n > 4) return false;  // indefinite form, or longer than any data here
    length = 0;
    for (unsigned i = 0; i < n; ++i) {
      if (p >= stop) return false;
      length = (length << 8) | static_cast<uint8_t>(*p++);
    }
  }
  if (length > static_cast<size_t>(stop - p)) return false;
  h.content = p;
  h.length = length;
  current_ = p;
  return true;
}

bool BERDecoder::typedHeader(const AbstractData& value, Header& h) {
  const char* start = current_;
  if (!decodeHeader(h)) return false;
  if (implicitTags_ > 0) {
    implicitTags_ = 0;
    return true;
  }
  if (h.tag == value.type_info()->tag) return true;
  current_ = start;
  return false;
}

bool BERDecoder::content(const AbstractData& value, const char*& p, uint32_t& n) {
  Header h;
  if (!typedHeader(value, h)) return false;
  p = h.content;
  n = h.length;
  current_ = h.content + h.length;
  return true;
}

bool BERDecoder::integer(const AbstractData& value, int32_t& out) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n) || n == 0 || n > 4) return false;
  uint32_t v = static_cast<uint8_t>(p[0]) & 0x80 ? ~0u : 0;
  for (uint32_t i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  out = static_cast<int32_t>(v);
  return true;
}

bool BERDecoder::do_visit(Null& value) {
  const char* p;
  uint32_t n;
  return content(value, p, n);
}

bool BERDecoder::do_visit(BOOLEAN& value) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n) || n == 0) return false;
  value.value = p[n - 1] != 0;
  return true;
}

bool BERDecoder::do_visit(INTEGER& value) { return integer(value, value.value); }
bool BERDecoder::do_visit(ENUMERATED& value) { return integer(value, value.value); }

bool BERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  const char* p;
  uint32_t n;
  return content(value, p, n) && value.decodeCommon(p, n);
}

bool BERDecoder::do_visit(OCTET_STRING& value) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n)) return false;
  value.assign(p, p + n);
  return true;
}

bool BERDecoder::do_visit(BIT_STRING& value) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n) || n == 0) return false;
  uint8_t unused = static_cast<uint8_t>(p[0]);
  if (unused > 7 || (n == 1 && unused != 0) || uint64_t{n - 1} * 8 > INT32_MAX) return false;
  value.totalBits = static_cast<int32_t>((n - 1) * 8 - unused);
  value.bitData.assign(p + 1, p + n);
  if (unused) value.bitData.back() = static_cast<char>(value.bitData.back() & (0xFF << unused));
  return true;
}

bool BERDecoder::do_visit(AbstractString& value) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n)) return false;
  value.assign(p, n);
  return true;
}

bool BERDecoder::do_visit(BMPString& value) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n) || n % 2) return false;
  value.resize(n / 2);
  for (uint32_t i = 0; i < n / 2; ++i)
    value[i] = static_cast<wchar_t>((static_cast<uint8_t>(p[2 * i]) << 8) |
                                    static_cast<uint8_t>(p[2 * i + 1]));
  return true;
}

bool BERDecoder::do_visit(GeneralizedTime& value) {
  const char* p;
  uint32_t n;
  if (!content(value, p, n)) return false;
  std::string text(p, n);
  return value.set(text.c_str());
}

bool BERDecoder::implicitValue(AbstractData& value, const Header& h) {
  current_ = h.start;
  implicitTags_ = 1;
  const char* stop = h.content + h.length;
  ends_.push_back(stop);
  bool ok = value.accept(*this);
  ends_.pop_back();
  implicitTags_ = 0;
  if (!ok || current_ > stop) return false;
  current_ = stop;
  return true;
}

bool BERDecoder::alternative(CHOICE& value) {
  Header h;
  if (!decodeHeader(h)) return false;
  if ((h.tag >> 16) != 0x80 || (h.tag & 0xFFFF) >= value.info()->totalSelections) {
    value.setSelection(CHOICE::unknownSelection_, nullptr);
    return false;
  }
  if (!value.select(static_cast<int>(h.tag & 0xFFFF))) return false;
  return implicitValue(*value.choice, h);
}

bool BERDecoder::do_visit(CHOICE& value) {
  const ChoiceInfo* r = value.info();
  bool wrapped = implicitTags_ > 0 || r->tag != 0;
  implicitTags_ = 0;
  if (!wrapped) return alternative(value);
  Header h;
  if (!decodeHeader(h)) return false;
  const char* stop = h.content + h.length;
  ends_.push_back(stop);
  bool ok = alternative(value);
  ends_.pop_back();
  if (!ok) return false;
  current_ = stop;
  return true;
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  value.clear();
  Header h;
  if (!typedHeader(value, h)) return false;
  const char* stop = h.content + h.length;
  ends_.push_back(stop);
  while (current_ < stop) {
    AbstractData* element = value.create_element();
    if (!element->accept(*this)) {
      delete element;
      ends_.pop_back();
      return false;
    }
    value.push_back_owned(element);
  }
  ends_.pop_back();
  return current_ == stop;
}

bool BERDecoder::do_visit(OpenData& value) {
  bool tagged = implicitTags_ > 0 || value.type_info()->tag != 0;
  Header h;
  if (!typedHeader(value, h)) return false;
  // A tagged open type holds the contained value's encoding as its content; an untagged one
  // is that encoding, header included.
  const char* first = tagged ? h.content : h.start;
  const char* stop = h.content + h.length;
  value.buf.reset(new std::vector<char>(first, stop));
  current_ = stop;
  return true;
}

bool BERDecoder::do_revisit(OpenData& value) { return value.decode_held<BERDecoder>(env_); }

bool BERDecoder::do_visit(TypeConstrainedOpenData& value) {
  if (!value.data) return do_visit(static_cast<OpenData&>(value));
  bool tagged = implicitTags_ > 0 || value.type_info()->tag != 0;
  if (!tagged) return value.data->accept(*this);
  Header h;
  if (!typedHeader(value, h)) return false;
  const char* stop = h.content + h.length;
  ends_.push_back(stop);
  bool ok = value.data->accept(*this);
  ends_.pop_back();
  if (!ok || current_ > stop) return false;
  current_ = stop;
  return true;
}

int BERDecoder::preVisitExtensionRoots(SEQUENCE& seq) {
  Header h;
  if (!typedHeader(seq, h)) return FAIL;
  ends_.push_back(h.content + h.length);
  return CONTINUE;
}

int BERDecoder::field(SEQUENCE& seq, int index, int optionalId) {
  bool optional = optionalId != -1;
  const char* start = current_;
  Header h;
  if (current_ >= limit() || !decodeHeader(h) ||
      h.tag != context_tag(static_cast<uint32_t>(index))) {
    current_ = start;
    if (!optional) return FAIL;
    seq.removeOptionalField(static_cast<unsigned>(optionalId));
    return CONTINUE;
  }
  if (optional) {
    seq.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index));
  } else if (seq.fields[index] == nullptr) {
    const TypeInfo* f = seq.info()->fieldInfos[index];
    seq.fields[index] = f->create(f);
  }
  return implicitValue(*seq.fields[index], h) ? CONTINUE : FAIL;
}

int BERDecoder::visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) {
  return field(seq, index, optionalId);
}

int BERDecoder::visitKnownExtension(SEQUENCE& seq, int index, int optionalId) {
  return field(seq, index, optionalId);
}

bool BERDecoder::visitUnknownExtensions(SEQUENCE&) {
  current_ = ends_.back();
  ends_.pop_back();
  return true;
}

}  // namespace ASN1
