#include "asn1/per_encoder.h"

#include <algorithm>
#include <climits>
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

namespace {

const uint32_t kUnconstrainedUpper = INT32_MAX;

// Number of extension additions known to this side that the value marks present, as the size
// of the bitmap to write (0: the extension bit is 0).
unsigned known_extensions_used(const SEQUENCE& seq) {
  const SequenceInfo* r = seq.info();
  if (!r->extendable || seq.extensionMap.used(r->numberOfKnownExtensions) == 0) return 0;
  return std::min(seq.extensionMap.size(), r->numberOfKnownExtensions);
}

}  // namespace

void PEREncoder::encodeSingleBit(bool b) {
  if (bitsLeft_ == 8) output_->push_back(0);
  --bitsLeft_;
  if (b) output_->back() = static_cast<char>(output_->back() | (1 << bitsLeft_));
  if (bitsLeft_ == 0) bitsLeft_ = 8;
}

void PEREncoder::encodeMultiBit(uint32_t v, unsigned n) {
  while (n > 0) {
    if (bitsLeft_ == 8) output_->push_back(0);
    unsigned take = std::min(n, bitsLeft_);
    uint32_t bits = static_cast<uint32_t>((uint64_t{v} >> (n - take)) & ((1u << take) - 1));
    bitsLeft_ -= take;
    uint8_t last = static_cast<uint8_t>(output_->back());
    output_->back() = static_cast<char>(last | (bits << bitsLeft_));
    n -= take;
    if (bitsLeft_ == 0) bitsLeft_ = 8;
  }
}

void PEREncoder::encodeBitMap(const std::vector<char>& bytes, unsigned n) {
  for (unsigned i = 0; i < n; i += 8) {
    unsigned take = std::min(8u, n - i);
    encodeMultiBit(static_cast<uint8_t>(bytes[i / 8]) >> (8 - take), take);
  }
}

void PEREncoder::encodeByte(uint8_t v) {
  bitsLeft_ = 8;
  output_->push_back(static_cast<char>(v));
}

void PEREncoder::encodeBlock(const char* p, size_t n) {
  if (n == 0) return;
  bitsLeft_ = 8;
  output_->insert(output_->end(), p, p + n);
}

void PEREncoder::encodeSmallUnsigned(uint32_t v) {
  if (v <= 63) {
    encodeMultiBit(v, 7);
    return;
  }
  encodeSingleBit(true);
  unsigned octets = v < 256 ? 1 : v < 65536 ? 2 : v < 16777216 ? 3 : 4;
  encodeLength(octets, 0, kUnconstrainedUpper);
  byteAlign();
  encodeMultiBit(v, 8 * octets);
}

bool PEREncoder::encodeUnsigned(uint32_t v, int32_t lo, uint32_t hi) {
  uint32_t base = static_cast<uint32_t>(lo);
  uint32_t span = hi - base;
  uint32_t offset = v - base;
  if (offset > span) return false;
  if (span == 0) return true;
  unsigned bits = CountBits(span + 1);
  if (span > 254) {
    if (bits > 16) {
      unsigned octets = offset == 0 ? 1 : (CountBits(offset + 1) + 7) / 8;
      if (!encodeLength(octets, 1, (bits + 7) / 8)) return false;
      bits = 8 * octets;
    } else if (bits > 8) {
      bits = 16;
    }
    byteAlign();
  }
  encodeMultiBit(offset, bits);
  return true;
}

bool PEREncoder::encodeLength(uint32_t n, uint32_t lb, uint32_t ub) {
  if (n < lb || n > ub) return false;
  if (ub <= 65535) return encodeUnsigned(n, static_cast<int32_t>(lb), ub);
  byteAlign();
  if (n <= 127) {
    encodeByte(static_cast<uint8_t>(n));
    return true;
  }
  if (n <= kMaxUnfragmented) {
    encodeMultiBit(0x8000 | n, 16);
    return true;
  }
  return false;
}

bool PEREncoder::encodeConstraint(const ConstrainedInfo* r, int32_t v) {
  switch (r->constraintType) {
    case ExtendableConstraint: {
      bool outside;
      if (r->lowerLimit < 0)
        outside = v < r->lowerLimit || int64_t{v} > int64_t{static_cast<int32_t>(r->upperLimit)};
      else
        outside = static_cast<uint32_t>(v) < static_cast<uint32_t>(r->lowerLimit) ||
                  static_cast<uint32_t>(v) > r->upperLimit;
      encodeSingleBit(outside);
      return outside;
    }
    case FixedConstraint:
      return false;
    default:
      return true;
  }
}

bool PEREncoder::encodeConstrainedLength(const ConstrainedInfo* r, uint32_t n, bool& unbounded) {
  if (r->constraintType == ExtendableConstraint) {
    uint32_t lower = r->lowerLimit > 0 ? static_cast<uint32_t>(r->lowerLimit) : 0;
    unbounded = n < lower || n > r->upperLimit;
    encodeSingleBit(unbounded);
  } else {
    unbounded = r->constraintType != FixedConstraint;
  }
  if (unbounded) return encodeLength(n, 0, kUnconstrainedUpper);
  uint32_t lower = r->lowerLimit > 0 ? static_cast<uint32_t>(r->lowerLimit) : 0;
  return encodeLength(n, lower, r->upperLimit);
}

bool PEREncoder::encodeAnyType(const AbstractData* value) {
  if (value == nullptr) {
    encodeLength(1, 0, kUnconstrainedUpper);
    encodeByte(0);
    return true;
  }
  std::vector<char> inner;
  inner.reserve(64);
  PEREncoder encoder(inner);
  if (!value->accept(encoder)) return false;
  if (inner.empty()) inner.push_back(0);
  if (!encodeLength(static_cast<uint32_t>(std::min<size_t>(inner.size(), UINT32_MAX)), 0,
                    kUnconstrainedUpper))
    return false;
  encodeBlock(inner.data(), inner.size());
  return true;
}

bool PEREncoder::do_visit(const Null&) { return true; }

bool PEREncoder::do_visit(const BOOLEAN& value) {
  encodeSingleBit(value.value);
  return true;
}

bool PEREncoder::do_visit(const INTEGER& value) {
  const ConstrainedInfo* r = value.info();
  if (!encodeConstraint(r, value.value))
    return encodeUnsigned(static_cast<uint32_t>(value.value), r->lowerLimit, r->upperLimit);
  unsigned n = getIntegerDataLength(value.value);
  // An unsigned reading is decoded without sign extension: values of 2^31 and more need all
  // four octets to come back.
  if (value.unsigned_range() && value.value < 0) n = 4;
  encodeLength(n, 0, kUnconstrainedUpper);
  encodeMultiBit(static_cast<uint32_t>(value.value), 8 * n);
  return true;
}

bool PEREncoder::do_visit(const ENUMERATED& value) {
  const EnumeratedInfo* r = value.info();
  int32_t v = value.value;
  if (v < 0) return false;
  if (r->extendable) {
    bool extension = v > r->maxEnumValue;
    encodeSingleBit(extension);
    if (extension) {
      encodeSmallUnsigned(static_cast<uint32_t>(v) + 1);
      return encodeUnsigned(static_cast<uint32_t>(v), 0, static_cast<uint32_t>(v));
    }
  }
  if (r->maxEnumValue < 0) return false;
  return encodeUnsigned(static_cast<uint32_t>(v), 0, static_cast<uint32_t>(r->maxEnumValue));
}

bool PEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> content;
  if (!value.encodeCommon(content) || content.size() > 255 || !encodeLength(static_cast<uint32_t>(content.size()), 0, 255))
    return false;
  encodeBlock(content.data(), content.size());
  return true;
}

bool PEREncoder::do_visit(const BIT_STRING& value) {
  if (value.totalBits < 0) return false;
  uint32_t n = static_cast<uint32_t>(value.totalBits);
  size_t octets = (size_t{n} + 7) / 8;
  if (value.bitData.size() < octets) return false;
  bool unbounded;
  if (!encodeConstrainedLength(value.info(), n, unbounded)) return false;
  if (n == 0) return true;
  if (n <= 16) {
    encodeBitMap(value.bitData, n);
    return true;
  }
  encodeBlock(value.bitData.data(), octets);
  if (n % 8) output_->back() = static_cast<char>(output_->back() & (0xFF00 >> (n % 8)));
  return true;
}

bool PEREncoder::do_visit(const OCTET_STRING& value) {
  if (value.size() > UINT32_MAX) return false;
  uint32_t n = static_cast<uint32_t>(value.size());
  bool unbounded;
  if (!encodeConstrainedLength(value.info(), n, unbounded)) return false;
  if (n <= 2) {
    for (uint32_t i = 0; i < n; ++i) encodeMultiBit(static_cast<uint8_t>(value[i]), 8);
    return true;
  }
  encodeBlock(value.data(), n);
  return true;
}

bool PEREncoder::do_visit(const AbstractString& value) {
  const StringInfo* r = value.info();
  if (value.size() > UINT32_MAX) return false;
  uint32_t n = static_cast<uint32_t>(value.size());
  unsigned b = r->alignedCharacterBits;
  if (b == 0 || b > 8) return false;
  bool unbounded;
  if (!encodeConstrainedLength(r, n, unbounded)) return false;
  if (unbounded || uint64_t{r->upperLimit} * b >= 17) {
    if (b == 8) {
      encodeBlock(value.data(), n);
      return true;
    }
    byteAlign();
  }
  bool code_is_character = r->canonicalCharacterBits <= b && r->canonicalCharacterBits > 4;
  bool indexed = !code_is_character && r->characterSetSize != 0 && r->characterSet != nullptr;
  for (char c : value) {
    uint32_t code = static_cast<uint8_t>(c);
    if (indexed) {
      const char* first = r->characterSet;
      const char* last = first + r->characterSetSize;
      const char* it = std::lower_bound(first, last, c, [](char a, char x) {
        return static_cast<unsigned char>(a) < static_cast<unsigned char>(x);
      });
      if (it == last || *it != c) return false;
      code = static_cast<uint32_t>(it - first);
    }
    encodeMultiBit(code, b);
  }
  return true;
}

bool PEREncoder::do_visit(const BMPString& value) {
  const BMPStringInfo* r = value.info();
  if (value.size() > UINT32_MAX) return false;
  uint32_t n = static_cast<uint32_t>(value.size());
  bool unbounded;
  if (!encodeConstrainedLength(r, n, unbounded)) return false;
  if (unbounded || uint64_t{r->upperLimit} * 16 > 16) byteAlign();
  for (wchar_t c : value) {
    uint32_t code = static_cast<uint32_t>(c) - r->firstCharacter;
    if (!in_bmp(c) || code > 0xFFFF) return false;
    encodeMultiBit(code, 16);
  }
  return true;
}

bool PEREncoder::do_visit(const CHOICE& value) {
  const ChoiceInfo* r = value.info();
  if (value.choiceID < 0 || value.choice == nullptr) return false;
  uint32_t index = static_cast<uint32_t>(value.choiceID);
  if (r->extendable) {
    bool extension = index >= r->numberOfRoots;
    encodeSingleBit(extension);
    if (extension) {
      encodeSmallUnsigned(index - r->numberOfRoots);
      return encodeAnyType(value.choice);
    }
  }
  if (index >= r->numberOfRoots) return false;
  if (r->numberOfRoots > 1 && !encodeUnsigned(index, 0, r->numberOfRoots - 1)) return false;
  return value.choice->accept(*this);
}

bool PEREncoder::do_visit(const OpenData& value) {
  if (value.data) return encodeAnyType(value.data.get());
  if (!value.buf || !encodeLength(static_cast<uint32_t>(std::min<size_t>(value.buf->size(),
                                                                         UINT32_MAX)),
                                  0, kUnconstrainedUpper))
    return false;
  encodeBlock(value.buf->data(), value.buf->size());
  return true;
}

bool PEREncoder::do_visit(const GeneralizedTime& value) {
  std::string text = value.get();
  if (!encodeLength(static_cast<uint32_t>(text.size()), 0, 4294967295u)) return false;
  encodeBlock(text.data(), text.size());
  return true;
}

bool PEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  if (value.size() > UINT32_MAX) return false;
  bool unbounded;
  if (!encodeConstrainedLength(value.info(), static_cast<uint32_t>(value.size()), unbounded))
    return false;
  for (const AbstractData* element : value.container)
    if (!element->accept(*this)) return false;
  return true;
}

bool PEREncoder::preVisitExtensionRoots(const SEQUENCE& seq) {
  const SequenceInfo* r = seq.info();
  if (r->extendable) encodeSingleBit(known_extensions_used(seq) != 0);
  for (uint32_t i = 0; i < r->numberOfOptionals; ++i) encodeSingleBit(seq.optionalMap[i]);
  return true;
}

bool PEREncoder::visitExtensionRoot(const SEQUENCE& seq, int index) {
  const AbstractData* field = seq.fields[index];
  return field != nullptr && field->accept(*this);
}

bool PEREncoder::preVisitExtensions(const SEQUENCE& seq) {
  unsigned size = known_extensions_used(seq);
  if (size == 0) return true;
  encodeSmallUnsigned(size - 1);
  for (unsigned i = 0; i < size; ++i) encodeSingleBit(seq.extensionMap[i]);
  return true;
}

bool PEREncoder::visitKnownExtension(const SEQUENCE& seq, int index) {
  const AbstractData* field = seq.fields[index];
  return field != nullptr && encodeAnyType(field);
}

}  // namespace ASN1
