#include "asn1/sequence.h"

#include <algorithm>
#include <utility>

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

namespace {

// Set while a clone creates its copy through the record, so that the constructor leaves the
// fields null instead of building defaults that the copy would delete at once.
bool g_construct_bare = false;

struct ConstructBare {
  ConstructBare() { g_construct_bare = true; }
  ~ConstructBare() { g_construct_bare = false; }
};

}  // namespace

void SEQUENCE::BitMap::resize(unsigned n) {
  const unsigned keep = std::min(n, bitCount);
  const unsigned keep_bytes = (keep + 7) / 8;
  if (n > kInlineBits) {
    if (bitCount <= kInlineBits) bitData.assign(inlineData, inlineData + keep_bytes);
    bitData.resize((n + 7) / 8);
  } else if (bitCount > kInlineBits) {
    std::copy(bitData.begin(), bitData.begin() + keep_bytes, inlineData);
    std::vector<char>().swap(bitData);
  }
  bitCount = n;
  char* b = bytes();
  // Bits past the kept ones read as clear, whatever the storage held before.
  std::fill(b + keep_bytes, b + (n + 7) / 8, 0);
  if (keep % 8 != 0) b[keep / 8] = static_cast<char>(b[keep / 8] & (0xFF00 >> (keep % 8)));
}

bool SEQUENCE::BitMap::any() const {
  const char* b = bytes();
  return std::any_of(b, b + (bitCount + 7) / 8, [](char c) { return c != 0; });
}

unsigned SEQUENCE::BitMap::used(unsigned limit) const {
  for (unsigned n = std::min(limit, bitCount); n > 0; --n)
    if ((*this)[n - 1]) return n;
  return 0;
}

AbstractData* SEQUENCE::create(const void* info) { return new SEQUENCE(info); }

SEQUENCE::SEQUENCE(const void* info) : AbstractData(info) {
  const SequenceInfo* r = this->info();
  fields.assign(r->numberOfRoots + r->numberOfKnownExtensions, nullptr);
  optionalMap.resize(r->numberOfOptionals);
  if (g_construct_bare) {
    g_construct_bare = false;
    return;
  }
  for (uint32_t i = 0; i < r->numberOfRoots; ++i) {
    if (r->fieldIds[i] == -1) fields[i] = r->fieldInfos[i]->create(r->fieldInfos[i]);
  }
  if (r->defaultExtensionMap) {
    extensionMap.resize(r->numberOfKnownExtensions);
    for (uint32_t k = 0; k < r->numberOfKnownExtensions; ++k) {
      if (r->defaultExtensionMap[k / 8] & (0x80 >> (k % 8))) {
        extensionMap.set(k);
        const TypeInfo* f = r->fieldInfos[r->numberOfRoots + k];
        fields[r->numberOfRoots + k] = f->create(f);
      }
    }
  }
}

SEQUENCE::SEQUENCE(const SEQUENCE& other)
    : AbstractData(other), optionalMap(other.optionalMap), extensionMap(other.extensionMap) {
  fields.reserve(other.fields.size());
  for (const AbstractData* f : other.fields) fields.push_back(f ? f->clone() : nullptr);
}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
  if (this != &other) {
    SEQUENCE copy(other);
    swap(copy);
    info_ = other.info_;
  }
  return *this;
}

SEQUENCE::~SEQUENCE() { clear_fields(); }

void SEQUENCE::clear_fields() {
  for (AbstractData* f : fields) delete f;
  fields.clear();
}

bool SEQUENCE::hasOptionalField(unsigned id) const {
  unsigned optionals = info()->numberOfOptionals;
  return id < optionals ? optionalMap[id] : extensionMap[id - optionals];
}

void SEQUENCE::includeOptionalField(unsigned id, unsigned index) {
  unsigned optionals = info()->numberOfOptionals;
  if (id < optionals) {
    optionalMap.set(id);
  } else {
    unsigned bit = id - optionals;
    if (extensionMap.size() <= bit) extensionMap.resize(bit + 1);
    extensionMap.set(bit);
  }
  if (index < fields.size() && fields[index] == nullptr) {
    const TypeInfo* f = info()->fieldInfos[index];
    fields[index] = f->create(f);
  }
}

void SEQUENCE::removeOptionalField(unsigned id) {
  unsigned optionals = info()->numberOfOptionals;
  if (id < optionals)
    optionalMap.clear(id);
  else
    extensionMap.clear(id - optionals);
}

void SEQUENCE::swap(SEQUENCE& other) {
  fields.swap(other.fields);
  std::swap(optionalMap, other.optionalMap);
  std::swap(extensionMap, other.extensionMap);
}

int SEQUENCE::do_compare(const AbstractData& other) const {
  const SEQUENCE& o = *boost::polymorphic_downcast<const SEQUENCE*>(&other);
  const SequenceInfo* r = info();
  int last_id = -1;
  for (unsigned i = 0; i < fields.size(); ++i) {
    int id = -1;
    if (i < r->numberOfRoots) {
      id = r->fieldIds[i];
      if (id != -1) last_id = id;
    } else {
      id = ++last_id;
    }
    if (id != -1) {
      bool mine = hasOptionalField(id), theirs = o.hasOptionalField(id);
      if (mine != theirs) return mine ? 1 : -1;
      if (!mine) continue;
    }
    const AbstractData* a = fields[i];
    const AbstractData* b = o.fields[i];
    if (a && b) {
      int c = a->compare(*b);
      if (c != 0) return c;
    } else if (a || b) {
      return a ? 1 : -1;
    }
  }
  return 0;
}

AbstractData* SEQUENCE::do_clone() const {
  if (info()->create == &SEQUENCE::create) return new SEQUENCE(*this);
  SEQUENCE* copy;
  {
    ConstructBare bare;
    copy = static_cast<SEQUENCE*>(info()->create(info()));
  }
  for (size_t i = 0; i < fields.size(); ++i)
    copy->fields[i] = fields[i] ? fields[i]->clone() : nullptr;
  copy->optionalMap = optionalMap;
  copy->extensionMap = extensionMap;
  return copy;
}

bool SEQUENCE::do_accept(Visitor& v) { return v.visit(*this); }
bool SEQUENCE::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
