#include "asn1/strings.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

const char numeric_character_set[] = " 0123456789";
const char printable_character_set[] =
    " '()+,-./0123456789:=?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
const char visible_character_set[] =
    " !\042#$%&'()*+,-./0123456789:;<=>\077@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\134]^_`abcdefghijklmn"
    "opqrstuvwxyz{|}~";
const char ia5_character_set[] =
    "\000\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017\020\021\022\023\024\025"
    "\026\027\030\031\032\033\034\035\036\037 !\042#$%&'()*+,-./0123456789:;<=>\077@ABCDEFGHI"
    "JKLMNOPQRSTUVWXYZ[\134]^_`abcdefghijklmnopqrstuvwxyz{|}~\177";
const char general_character_set[256] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
    26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49,
    50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73,
    74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97,
    98, 99, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116,
    117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, -128, -127, -126, -125, -124, -123, -122,
    -121, -120, -119, -118, -117, -116, -115, -114, -113, -112, -111, -110, -109, -108, -107, -106,
    -105, -104, -103, -102, -101, -100, -99, -98, -97, -96, -95, -94, -93, -92, -91, -90, -89, -88,
    -87, -86, -85, -84, -83, -82, -81, -80, -79, -78, -77, -76, -75, -74, -73, -72, -71, -70, -69,
    -68, -67, -66, -65, -64, -63, -62, -61, -60, -59, -58, -57, -56, -55, -54, -53, -52, -51, -50,
    -49, -48, -47, -46, -45, -44, -43, -42, -41, -40, -39, -38, -37, -36, -35, -34, -33, -32, -31,
    -30, -29, -28, -27, -26, -25, -24, -23, -22, -21, -20, -19, -18, -17, -16, -15, -14, -13, -12,
    -11, -10, -9, -8, -7, -6, -5, -4, -3, -2, -1};

const StringInfo NumericString::theInfo = {
    {{&AbstractString::create, TagNumericString}, Unconstrained, 0, 4294967295u},
    numeric_character_set, 11, 4, 4, 4};
const StringInfo PrintableString::theInfo = {
    {{&AbstractString::create, TagPrintableString}, Unconstrained, 0, 4294967295u},
    printable_character_set, 74, 7, 7, 8};
const StringInfo VisibleString::theInfo = {
    {{&AbstractString::create, TagVisibleString}, Unconstrained, 0, 4294967295u},
    visible_character_set, 95, 7, 7, 8};
const StringInfo IA5String::theInfo = {
    {{&IA5String::create, TagIA5String}, Unconstrained, 0, 4294967295u},
    ia5_character_set, 128, 7, 7, 8};
const StringInfo GeneralString::theInfo = {
    {{&AbstractString::create, TagGeneralString}, Unconstrained, 0, 4294967295u},
    general_character_set, 256, 8, 8, 8};
const BMPStringInfo BMPString::theInfo = {
    {{&BMPString::create, TagBMPString}, Unconstrained, 0, 4294967295u}, 0, 65535, 16, 16};

bool size_within(const ConstrainedInfo* info, size_t size, bool strict) {
  uint64_t lower = info->lowerLimit > 0 ? static_cast<uint64_t>(info->lowerLimit) : 0;
  if (size < lower) return false;
  if (!strict && info->constraintType == ExtendableConstraint) return true;
  return size <= info->upperLimit;
}

AbstractData* AbstractString::create(const void* info) { return new AbstractString(info); }

bool AbstractString::legalCharacter(char c) const {
  const StringInfo* r = info();
  if (r->characterSetSize == 0 || r->characterSet == nullptr) return true;
  const char* first = r->characterSet;
  const char* last = first + r->characterSetSize;
  const char* it = std::lower_bound(first, last, c, [](char a, char b) {
    return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
  });
  return it != last && *it == c;
}

bool AbstractString::isValid() const {
  return size_within(info(), size(), false) &&
         std::all_of(begin(), end(), [this](char c) { return legalCharacter(c); });
}

bool AbstractString::isStrictlyValid() const {
  return size_within(info(), size(), true) &&
         std::all_of(begin(), end(), [this](char c) { return legalCharacter(c); });
}

int AbstractString::do_compare(const AbstractData& other) const {
  const AbstractString& o = *boost::polymorphic_downcast<const AbstractString*>(&other);
  size_t n = std::min(size(), o.size());
  int r = n ? std::memcmp(data(), o.data(), n) : 0;
  if (r != 0) return r;
  return size() < o.size() ? -1 : (size() > o.size() ? 1 : 0);
}
AbstractData* AbstractString::do_clone() const { return clone_through_record(*this); }
bool AbstractString::do_accept(Visitor& v) { return v.do_visit(*this); }
bool AbstractString::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

AbstractData* IA5String::create(const void* info) { return new IA5String(std::string(), info); }

AbstractData* BMPString::create(const void* info) { return new BMPString(std::wstring(), info); }

bool BMPString::legalCharacter(wchar_t c) const {
  uint32_t code = static_cast<uint32_t>(c);
  return info()->firstCharacter <= code && code <= info()->lastCharacter;
}

size_t BMPString::first_illegal_at() const {
  size_t i = 0;
  while (i < size() && legalCharacter((*this)[i])) ++i;
  return i;
}

bool BMPString::isValid() const {
  return size_within(info(), size(), false) && first_illegal_at() == size();
}

bool BMPString::isStrictlyValid() const {
  return size_within(info(), size(), true) && first_illegal_at() == size();
}

int BMPString::do_compare(const AbstractData& other) const {
  const BMPString& o = *boost::polymorphic_downcast<const BMPString*>(&other);
  size_t n = std::min(size(), o.size());
  int r = n ? std::wmemcmp(data(), o.data(), n) : 0;
  if (r != 0) return r;
  return size() < o.size() ? -1 : (size() > o.size() ? 1 : 0);
}
AbstractData* BMPString::do_clone() const { return clone_through_record(*this); }
bool BMPString::do_accept(Visitor& v) { return v.do_visit(*this); }
bool BMPString::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

}  // namespace ASN1
