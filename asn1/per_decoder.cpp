#include "asn1/per_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
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

const uint32_t kUnconstrainedUpper = INT32_MAX;

// Whether an INTEGER record reads its values as signed numbers.
bool signed_reading(const ConstrainedObject& value) { return !value.unsigned_range(); }

}  // namespace

PERDecoder::PERDecoder(const char* begin, const char* end, CoderEnv* env)
    : env_(env), current_(begin), end_(end < begin ? begin : end), bitsLeft_(8) {}

size_t PERDecoder::getBitsLeft() const { return octetsLeft() * 8 + bitsLeft_ - 8; }

void PERDecoder::byteAlign() {
  if (bitsLeft_ != 8) {
    ++current_;
    bitsLeft_ = 8;
  }
}

void PERDecoder::setPosition(const char* p) {
  current_ = std::min(p, end_);
  bitsLeft_ = 8;
}

bool PERDecoder::decodeSingleBit(bool& out) {
  if (current_ >= end_) return false;
  out = (static_cast<uint8_t>(*current_) >> (bitsLeft_ - 1)) & 1;
  if (--bitsLeft_ == 0) {
    ++current_;
    bitsLeft_ = 8;
  }
  return true;
}

bool PERDecoder::decodeMultiBit(unsigned n, uint32_t& out) {
  if (n > 32 || n > getBitsLeft()) return false;
  uint64_t v = 0;
  while (n > 0) {
    unsigned take = std::min(n, bitsLeft_);
    unsigned shift = bitsLeft_ - take;
    uint8_t bits = static_cast<uint8_t>((static_cast<uint8_t>(*current_) >> shift) &
                                        ((1u << take) - 1));
    v = (v << take) | bits;
    n -= take;
    bitsLeft_ -= take;
    if (bitsLeft_ == 0) {
      ++current_;
      bitsLeft_ = 8;
    }
  }
  out = static_cast<uint32_t>(v);
  return true;
}

bool PERDecoder::decodeBitMap(std::vector<char>& bytes, unsigned n) {
  if (n > getBitsLeft()) return false;
  bytes.assign((n + 7) / 8, 0);
  for (unsigned i = 0; i < n; i += 8) {
    unsigned take = std::min(8u, n - i);
    uint32_t v;
    if (!decodeMultiBit(take, v)) return false;
    bytes[i / 8] = static_cast<char>(v << (8 - take));
  }
  return true;
}

bool PERDecoder::decodeBlock(char* buffer, size_t n) {
  if (n == 0) return true;
  byteAlign();
  if (n > octetsLeft()) return false;
  std::memcpy(buffer, current_, n);
  current_ += n;
  return true;
}

bool PERDecoder::decodeUnsigned(int32_t lo, uint32_t hi, uint32_t& out) {
  uint32_t base = static_cast<uint32_t>(lo);
  if (base == hi) {
    out = base;
    return true;
  }
  if (current_ >= end_) return false;
  uint32_t span = hi - base;  // number of values - 1, modulo 2^32
  unsigned bits = CountBits(span + 1);
  if (span > 254) {
    if (bits >= 17) {
      uint32_t octets;
      if (!decodeLength(1, (bits + 7) / 8, octets)) return false;
      bits = 8 * octets;
    } else if (bits > 8) {
      bits = 16;
    }
    byteAlign();
  }
  uint32_t v;
  if (!decodeMultiBit(bits, v)) return false;
  out = base + v;
  return true;
}

bool PERDecoder::decodeLength(uint32_t lb, uint32_t ub, uint32_t& out) {
  if (ub <= 65535) return decodeUnsigned(static_cast<int32_t>(lb), ub, out);
  byteAlign();
  bool bit;
  if (!decodeSingleBit(bit)) return false;
  if (!bit) return decodeMultiBit(7, out);
  if (!decodeSingleBit(bit) || bit) return false;  // 11: fragmented form
  return decodeMultiBit(14, out);
}

bool PERDecoder::decodeSmallUnsigned(uint32_t& out) {
  bool bit;
  if (!decodeSingleBit(bit)) return false;
  if (!bit) return decodeMultiBit(6, out);
  uint32_t n;
  if (!decodeLength(0, kUnconstrainedUpper, n) || n == 0 || n > 4) return false;
  byteAlign();
  return decodeMultiBit(8 * n, out);
}

bool PERDecoder::decodeConstrainedLength(const ConstrainedObject& object, uint32_t& out,
                                         bool& unbounded) {
  const ConstrainedInfo* r = object.info();
  unbounded = r->constraintType == Unconstrained || r->constraintType == PartiallyConstrained;
  if (r->constraintType == ExtendableConstraint) {
    bool ext;
    if (!decodeSingleBit(ext)) return false;
    unbounded = ext;
  }
  if (unbounded) return decodeLength(0, kUnconstrainedUpper, out);
  uint32_t lower = r->lowerLimit > 0 ? static_cast<uint32_t>(r->lowerLimit) : 0;
  return decodeLength(lower, r->upperLimit, out) && out <= r->upperLimit;
}

bool PERDecoder::do_visit(Null&) { return true; }

bool PERDecoder::do_visit(BOOLEAN& value) { return decodeSingleBit(value.value); }

bool PERDecoder::do_visit(INTEGER& value) {
  const ConstrainedInfo* r = value.info();
  bool unconstrained =
      r->constraintType == Unconstrained || r->constraintType == PartiallyConstrained;
  if (r->constraintType == ExtendableConstraint && !decodeSingleBit(unconstrained)) return false;
  if (!unconstrained) {
    uint32_t v;
    if (!decodeUnsigned(r->lowerLimit, r->upperLimit, v)) return false;
    value.value = static_cast<int32_t>(v);
    return true;
  }
  uint32_t n;
  if (!decodeLength(0, kUnconstrainedUpper, n) || n > 4) return false;
  if (n == 0) {
    value.value = 0;
    return true;
  }
  byteAlign();
  uint32_t v;
  if (!decodeMultiBit(8 * n, v)) return false;
  if (n < 4 && signed_reading(value) && (v & (1u << (8 * n - 1)))) v |= ~0u << (8 * n);
  value.value = static_cast<int32_t>(v);
  return true;
}

bool PERDecoder::do_visit(ENUMERATED& value) {
  const EnumeratedInfo* r = value.info();
  if (r->extendable) {
    bool ext;
    if (!decodeSingleBit(ext)) return false;
    if (ext) {
      // The protocol's form of a value v above the root: the small number v + 1, then v as a
      // whole number in 0..v. Anything else, X.691's own index of an extension addition
      // (13.3) included, is refused rather than read as another value.
      uint32_t m, v;
      if (!decodeSmallUnsigned(m)) return false;
      int64_t expected = int64_t{m} - 1;
      if (m == 0 || expected <= r->maxEnumValue || expected > INT32_MAX ||
          !decodeUnsigned(0, m - 1, v) || v != m - 1)
        return false;
      value.value = static_cast<int32_t>(v);
      return true;
    }
  }
  if (r->maxEnumValue < 0) return false;
  uint32_t v;
  if (!decodeUnsigned(0, static_cast<uint32_t>(r->maxEnumValue), v)) return false;
  value.value = static_cast<int32_t>(v);
  return true;
}

bool PERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  uint32_t n;
  if (!decodeLength(0, 255, n)) return false;
  byteAlign();
  if (n > octetsLeft()) return false;
  const char* content = current_;
  current_ += n;
  return value.decodeCommon(content, n);
}

bool PERDecoder::do_visit(OCTET_STRING& value) {
  uint32_t n;
  bool unbounded;
  if (!decodeConstrainedLength(value, n, unbounded)) return false;
  if (n > MaximumStringSize || size_t{n} * 8 > getBitsLeft()) return false;
  value.resize(n);
  if (n <= 2) {
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t v;
      if (!decodeMultiBit(8, v)) return false;
      value[i] = static_cast<char>(v);
    }
    return true;
  }
  return decodeBlock(value.data(), n);
}

bool PERDecoder::do_visit(AbstractString& value) {
  const StringInfo* r = value.info();
  uint32_t n;
  bool unbounded;
  if (!decodeConstrainedLength(value, n, unbounded)) return false;
  unsigned b = r->alignedCharacterBits;
  if (b == 0 || b > 8 || n > MaximumStringSize || uint64_t{n} * b > getBitsLeft()) return false;
  if (unbounded || uint64_t{r->upperLimit} * b >= 17) {
    if (b == 8) {
      value.resize(n);
      if (decodeBlock(&value[0], n)) return true;
      value.clear();
      return false;
    }
    byteAlign();
  }
  bool code_is_character = r->canonicalCharacterBits <= b && r->canonicalCharacterBits > 4;
  value.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t code;
    if (!decodeMultiBit(b, code)) return false;
    if (code_is_character || r->characterSetSize == 0 || r->characterSet == nullptr) {
      value[i] = static_cast<char>(code);
    } else {
      if (code >= r->characterSetSize) return false;
      value[i] = r->characterSet[code];
    }
  }
  return true;
}

bool PERDecoder::do_visit(BMPString& value) {
  const BMPStringInfo* r = value.info();
  uint32_t n;
  bool unbounded;
  if (!decodeConstrainedLength(value, n, unbounded)) return false;
  if (n > MaximumStringSize || uint64_t{n} * 16 > getBitsLeft()) return false;
  if (unbounded || uint64_t{r->upperLimit} * 16 > 16) byteAlign();
  value.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t code;
    if (!decodeMultiBit(16, code)) return false;
    value[i] = static_cast<wchar_t>(code + r->firstCharacter);
  }
  return true;
}

bool PERDecoder::do_visit(BIT_STRING& value) {
  uint32_t n;
  bool unbounded;
  if (!decodeConstrainedLength(value, n, unbounded)) return false;
  if (n > MaximumStringSize || n > getBitsLeft()) return false;
  value.totalBits = static_cast<int32_t>(n);
  value.bitData.assign((n + 7) / 8, 0);
  if (n == 0) return true;
  if (n <= 16) return decodeBitMap(value.bitData, n);
  if (!decodeBlock(value.bitData.data(), value.bitData.size())) return false;
  if (n % 8) value.bitData.back() = static_cast<char>(value.bitData.back() & (0xFF00 >> (n % 8)));
  return true;
}

bool PERDecoder::openTypeStart(const char*& start, uint32_t& n) {
  if (!decodeLength(0, kUnconstrainedUpper, n)) return false;
  byteAlign();
  if (n > octetsLeft()) return false;
  start = current_;
  return true;
}

bool PERDecoder::openTypeContent(AbstractData& value, const char* start, uint32_t n) {
  if (!value.accept(*this)) return false;
  const char* stop = start + n;
  if (current_ > stop || (current_ == stop && bitsLeft_ != 8)) return false;
  setPosition(stop);
  return true;
}

bool PERDecoder::do_visit(CHOICE& value) {
  const ChoiceInfo* r = value.info();
  uint64_t index = 0;
  bool extension = false;
  if (r->extendable && !decodeSingleBit(extension)) return false;
  const char* start = nullptr;
  uint32_t n = 0;
  if (extension) {
    uint32_t m;
    if (!decodeSmallUnsigned(m)) return false;
    index = uint64_t{m} + r->numberOfRoots;
    if (!openTypeStart(start, n)) return false;
  } else if (r->numberOfRoots > 1) {
    uint32_t v;
    if (!decodeUnsigned(0, r->numberOfRoots - 1, v)) return false;
    index = v;
  }
  if (index >= r->totalSelections) {
    value.setSelection(CHOICE::unknownSelection_, nullptr);
    return false;
  }
  if (!value.select(static_cast<int>(index))) return false;
  if (extension) return openTypeContent(*value.choice, start, n);
  return value.choice->accept(*this);
}

bool PERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  uint32_t n;
  bool unbounded;
  if (!decodeConstrainedLength(value, n, unbounded)) return false;
  if (n > MaximumArraySize) return false;
  if (value.size() > n) value.resize(n);
  // Room for n pointers (n is within MaximumArraySize); the elements themselves are made one at
  // a time as the data provides them, never in advance.
  value.container.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (i == value.size()) value.push_back_owned(value.create_element());
    AbstractData*& element = value.container[i];
    if (element == nullptr) element = value.create_element();
    if (!element->accept(*this)) {
      value.erase(i, value.size());
      return false;
    }
  }
  return true;
}

bool PERDecoder::do_visit(OpenData& value) {
  const char* start;
  uint32_t n;
  if (!openTypeStart(start, n)) return false;
  value.buf.reset(new std::vector<char>(start, start + n));
  current_ += n;
  return true;
}

bool PERDecoder::do_revisit(OpenData& value) { return value.decode_held<PERDecoder>(env_); }

bool PERDecoder::do_visit(TypeConstrainedOpenData& value) {
  if (!value.data) return do_visit(static_cast<OpenData&>(value));
  const char* start;
  uint32_t n;
  if (!openTypeStart(start, n)) return false;
  return openTypeContent(*value.data, start, n);
}

bool PERDecoder::do_visit(GeneralizedTime& value) {
  uint32_t n;
  if (!decodeLength(0, kUnconstrainedUpper, n)) return false;
  byteAlign();
  if (n > octetsLeft()) return false;
  // The usual text fits the stack; only a longer (faulty) one takes the heap.
  char local[64];
  std::string longer;
  char* text = local;
  if (n >= sizeof local) {
    longer.assign(n, '\0');
    text = &longer[0];
  }
  std::memcpy(text, current_, n);
  text[n] = '\0';
  current_ += n;
  return value.set(text);
}

int PERDecoder::preVisitExtensionRoots(SEQUENCE& seq) {
  const SequenceInfo* r = seq.info();
  bool extension = false;
  if (r->extendable && !decodeSingleBit(extension)) return FAIL;
  if (r->numberOfOptionals > getBitsLeft()) return FAIL;
  for (uint32_t i = 0; i < r->numberOfOptionals; ++i) {
    bool present;
    if (!decodeSingleBit(present)) return FAIL;
    if (present)
      seq.optionalMap.set(i);
    else
      seq.optionalMap.clear(i);
  }
  if (!extension) {
    seq.extensionMap.resize(0);
    return NO_EXTENSION;
  }
  return CONTINUE;
}

int PERDecoder::visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) {
  if (optionalId != -1) {
    if (!seq.hasOptionalField(static_cast<unsigned>(optionalId))) return CONTINUE;
    seq.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index));
  } else if (seq.fields[index] == nullptr) {
    const TypeInfo* f = seq.info()->fieldInfos[index];
    seq.fields[index] = f->create(f);
  }
  return seq.fields[index]->accept(*this) ? CONTINUE : FAIL;
}

int PERDecoder::preVisitExtensions(SEQUENCE& seq) {
  uint32_t m;
  if (!decodeSmallUnsigned(m) || uint64_t{m} + 1 > MaximumArraySize) return FAIL;
  if (uint64_t{m} + 1 > getBitsLeft()) return FAIL;
  seq.extensionMap.resize(0);
  seq.extensionMap.resize(m + 1);
  for (uint32_t i = 0; i <= m; ++i) {
    bool present;
    if (!decodeSingleBit(present)) return FAIL;
    if (present) seq.extensionMap.set(i);
  }
  return CONTINUE;
}

int PERDecoder::visitKnownExtension(SEQUENCE& seq, int index, int optionalId) {
  if (!seq.hasOptionalField(static_cast<unsigned>(optionalId))) return CONTINUE;
  const char* start;
  uint32_t n;
  if (!openTypeStart(start, n)) return FAIL;
  seq.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index));
  return openTypeContent(*seq.fields[index], start, n) ? CONTINUE : FAIL;
}

bool PERDecoder::visitUnknownExtensions(SEQUENCE& seq) {
  for (unsigned k = seq.info()->numberOfKnownExtensions; k < seq.extensionMap.size(); ++k) {
    if (!seq.extensionMap[k]) continue;
    const char* start;
    uint32_t n;
    if (!openTypeStart(start, n)) return false;
    current_ += n;
  }
  return true;
}

}  // namespace ASN1
