#include "asn1/values.h"

#include <algorithm>
#include <cstring>

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

namespace {

template <class T>
const T& same(const AbstractData& other) {
  return *boost::polymorphic_downcast<const T*>(&other);
}

int three_way(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

const TypeInfo Null::theInfo = {&Null::create, TagNull};
AbstractData* Null::create(const void* info) { return new Null(info); }
int Null::do_compare(const AbstractData&) const { return 0; }
AbstractData* Null::do_clone() const { return clone_through_record(*this); }
bool Null::do_accept(Visitor& v) { return v.do_visit(*this); }
bool Null::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

const TypeInfo BOOLEAN::theInfo = {&BOOLEAN::create, TagBoolean};
AbstractData* BOOLEAN::create(const void* info) { return new BOOLEAN(false, info); }
int BOOLEAN::do_compare(const AbstractData& other) const {
  return int{value} - int{same<BOOLEAN>(other).value};
}
AbstractData* BOOLEAN::do_clone() const { return clone_through_record(*this); }
bool BOOLEAN::do_accept(Visitor& v) { return v.do_visit(*this); }
bool BOOLEAN::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

const ConstrainedInfo INTEGER::theInfo = {{&INTEGER::create, TagInteger}, Unconstrained, 0,
                                          4294967295u};
AbstractData* INTEGER::create(const void* info) { return new INTEGER(0, info); }

bool INTEGER::isStrictValid() const {
  const ConstrainedInfo* r = info();
  if (r->lowerLimit >= 0) {
    uint32_t v = static_cast<uint32_t>(value);
    return static_cast<uint32_t>(r->lowerLimit) <= v && v <= r->upperLimit;
  }
  return r->lowerLimit <= value && int64_t{value} <= int64_t{static_cast<int32_t>(r->upperLimit)};
}

int INTEGER::do_compare(const AbstractData& other) const {
  const INTEGER& o = same<INTEGER>(other);
  if (unsigned_range())
    return three_way(static_cast<uint32_t>(value), static_cast<uint32_t>(o.value));
  return three_way(value, o.value);
}
AbstractData* INTEGER::do_clone() const { return clone_through_record(*this); }
bool INTEGER::do_accept(Visitor& v) { return v.do_visit(*this); }
bool INTEGER::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

AbstractData* IntegerWithNamedNumber::create(const void* info) {
  return new IntegerWithNamedNumber(0, info);
}

bool IntegerWithNamedNumber::getName(std::string& name) const {
  const NameEntry* first = info()->names;
  const NameEntry* last = first + info()->entryCount;
  const NameEntry* it = std::lower_bound(
      first, last, value, [](const NameEntry& e, int32_t v) { return e.value < v; });
  if (it == last || it->value != value) return false;
  name = it->name;
  return true;
}

bool IntegerWithNamedNumber::setFromName(const std::string& name) {
  for (uint32_t i = 0; i < info()->entryCount; ++i) {
    if (name == info()->names[i].name) {
      value = info()->names[i].value;
      return true;
    }
  }
  return false;
}

AbstractData* IntegerWithNamedNumber::do_clone() const { return clone_through_record(*this); }
bool IntegerWithNamedNumber::do_accept(Visitor& v) { return v.do_visit(*this); }
bool IntegerWithNamedNumber::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

size_t enum_name_length(const char* entry) { return std::strcspn(entry, "="); }

AbstractData* ENUMERATED::create(const void* info) { return new ENUMERATED(info); }

const char* ENUMERATED::getName() const {
  const EnumeratedInfo* r = info();
  for (uint32_t i = 0; i < r->nameCount; ++i) {
    int32_t number = r->numbers ? r->numbers[i] : static_cast<int32_t>(i);
    if (number == value) return r->names[i];
  }
  return nullptr;
}

bool ENUMERATED::setFromName(const std::string& name) {
  const EnumeratedInfo* r = info();
  for (uint32_t i = 0; i < r->nameCount; ++i) {
    size_t n = enum_name_length(r->names[i]);
    if (name.size() == n && name.compare(0, n, r->names[i], n) == 0) {
      value = r->numbers ? r->numbers[i] : static_cast<int32_t>(i);
      return true;
    }
  }
  value = r->maxEnumValue + (r->maxEnumValue < INT32_MAX ? 1 : 0);
  return false;
}

int ENUMERATED::do_compare(const AbstractData& other) const {
  return three_way(value, same<ENUMERATED>(other).value);
}
AbstractData* ENUMERATED::do_clone() const { return clone_through_record(*this); }
bool ENUMERATED::do_accept(Visitor& v) { return v.do_visit(*this); }
bool ENUMERATED::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

const TypeInfo OBJECT_IDENTIFIER::theInfo = {&OBJECT_IDENTIFIER::create, TagObjectIdentifier};
AbstractData* OBJECT_IDENTIFIER::create(const void* info) { return new OBJECT_IDENTIFIER(info); }

namespace {

void put_subidentifier(std::vector<char>& out, uint64_t v) {
  char groups[10];
  int n = 0;
  do {
    groups[n++] = static_cast<char>(v & 0x7F);
    v >>= 7;
  } while (v != 0);
  while (n > 1) out.push_back(static_cast<char>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

}  // namespace

bool OBJECT_IDENTIFIER::encodeCommon(std::vector<char>& octets) const {
  // X.690 8.19.4: the first two arcs share one sub-identifier, so they must be such that the
  // decoder can split it again (X.660: first arc 0..2, second below 40 under 0 and 1).
  if (value.size() < 2 || value[0] > 2 || (value[0] < 2 && value[1] >= 40)) return false;
  put_subidentifier(octets, uint64_t{value[0]} * 40 + value[1]);
  for (size_t i = 2; i < value.size(); ++i) put_subidentifier(octets, value[i]);
  return true;
}

bool OBJECT_IDENTIFIER::decodeCommon(const char* octets, size_t length) {
  if (length == 0) return false;  // not even the sub-identifier of the first two arcs
  // Every sub-identifier takes at least one octet, so `length` bounds the arcs.
  std::vector<uint32_t> arcs;
  uint64_t sub = 0;
  bool inside = false;
  for (size_t i = 0; i < length; ++i) {
    uint8_t b = static_cast<uint8_t>(octets[i]);
    sub = (sub << 7) | (b & 0x7F);
    if (sub > 0xFFFFFFFFull + 80) return false;
    inside = (b & 0x80) != 0;
    if (inside) continue;
    if (arcs.empty()) {
      if (sub < 40) {
        arcs.push_back(0);
        arcs.push_back(static_cast<uint32_t>(sub));
      } else if (sub < 80) {
        arcs.push_back(1);
        arcs.push_back(static_cast<uint32_t>(sub - 40));
      } else {
        arcs.push_back(2);
        arcs.push_back(static_cast<uint32_t>(sub - 80));
      }
    } else {
      if (sub > 0xFFFFFFFFull) return false;
      arcs.push_back(static_cast<uint32_t>(sub));
    }
    sub = 0;
  }
  if (inside) return false;
  value.swap(arcs);
  return true;
}

int OBJECT_IDENTIFIER::do_compare(const AbstractData& other) const {
  const std::vector<uint32_t>& o = same<OBJECT_IDENTIFIER>(other).value;
  size_t n = std::min(value.size(), o.size());
  for (size_t i = 0; i < n; ++i)
    if (value[i] != o[i]) return three_way(value[i], o[i]);
  return three_way(static_cast<int64_t>(value.size()), static_cast<int64_t>(o.size()));
}
AbstractData* OBJECT_IDENTIFIER::do_clone() const { return clone_through_record(*this); }
bool OBJECT_IDENTIFIER::do_accept(Visitor& v) { return v.do_visit(*this); }
bool OBJECT_IDENTIFIER::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

const ConstrainedInfo BIT_STRING::theInfo = {{&BIT_STRING::create, TagBitString}, Unconstrained,
                                             0, 4294967295u};
AbstractData* BIT_STRING::create(const void* info) { return new BIT_STRING(info); }

int BIT_STRING::do_compare(const AbstractData& other) const {
  const BIT_STRING& o = same<BIT_STRING>(other);
  size_t n = std::min(bitData.size(), o.bitData.size());
  for (size_t i = 0; i < n; ++i) {
    uint8_t a = static_cast<uint8_t>(bitData[i]);
    uint8_t b = static_cast<uint8_t>(o.bitData[i]);
    if (a != b) {
      uint8_t differ = a ^ b;
      return int{static_cast<uint8_t>(a & differ)} - int{static_cast<uint8_t>(b & differ)};
    }
  }
  return three_way(totalBits, o.totalBits);
}
AbstractData* BIT_STRING::do_clone() const { return clone_through_record(*this); }
bool BIT_STRING::do_accept(Visitor& v) { return v.do_visit(*this); }
bool BIT_STRING::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

const ConstrainedInfo OCTET_STRING::theInfo = {{&OCTET_STRING::create, TagOctetString},
                                               Unconstrained, 0, 4294967295u};
AbstractData* OCTET_STRING::create(const void* info) { return new OCTET_STRING(info); }

int OCTET_STRING::do_compare(const AbstractData& other) const {
  const OCTET_STRING& o = same<OCTET_STRING>(other);
  return lexicographic_compare_bytes(data(), data() + size(), o.data(), o.data() + o.size());
}
AbstractData* OCTET_STRING::do_clone() const { return clone_through_record(*this); }
bool OCTET_STRING::do_accept(Visitor& v) { return v.do_visit(*this); }
bool OCTET_STRING::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

}  // namespace ASN1
