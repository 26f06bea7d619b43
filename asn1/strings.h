// Character-string values: the 8-bit kinds share AbstractString and differ only in their record;
// BMPString holds one wide character per code.
#pragma once

#include <string>

#include "asn1/values.h"

namespace ASN1 {

class AbstractString : public ConstrainedObject, public std::string {
 public:
  static AbstractData* create(const void* info);
  explicit AbstractString(const void* info, const std::string& text = std::string())
      : ConstrainedObject(info), std::string(text) {}
  AbstractString(const void* info, const char* text) : ConstrainedObject(info), std::string(text) {}

  const StringInfo* info() const { return static_cast<const StringInfo*>(info_); }
  AbstractString& operator=(const std::string& text) {
    assign(text);
    return *this;
  }

  bool legalCharacter(char c) const;
  bool isValid() const;
  bool isStrictlyValid() const;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

struct NumericString {
  static const StringInfo theInfo;
};
struct PrintableString {
  static const StringInfo theInfo;
};
struct VisibleString {
  static const StringInfo theInfo;
};
struct GeneralString {
  static const StringInfo theInfo;
};

class IA5String : public AbstractString {
 public:
  static const StringInfo theInfo;
  static AbstractData* create(const void* info);
  explicit IA5String(const std::string& text = std::string(), const void* info = &theInfo)
      : AbstractString(info, text) {}
  using AbstractString::operator=;
};

class BMPString : public ConstrainedObject, public std::wstring {
 public:
  static const BMPStringInfo theInfo;
  static AbstractData* create(const void* info);
  explicit BMPString(const std::wstring& text = std::wstring(), const void* info = &theInfo)
      : ConstrainedObject(info), std::wstring(text) {}
  BMPString(const wchar_t* text, const void* info) : ConstrainedObject(info), std::wstring(text) {}

  const BMPStringInfo* info() const { return static_cast<const BMPStringInfo*>(info_); }
  bool legalCharacter(wchar_t c) const;
  // Index of the first character outside the permitted range, or the length.
  size_t first_illegal_at() const;
  bool isValid() const;
  bool isStrictlyValid() const;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// Whether a wide character is in the Basic Multilingual Plane, the only characters a BMPString
// carries (two octets each).
inline bool in_bmp(wchar_t c) { return static_cast<uint32_t>(c) <= 0xFFFF; }

// Size check shared by the string and list kinds (sizes of X.680 SIZE constraints): strict
// requires lower..upper; the loose form lets an extensible constraint exceed its upper bound.
bool size_within(const ConstrainedInfo* info, size_t size, bool strict);

}  // namespace ASN1
