// Open types: a contained value, or the octets of one still encoded, or both.
#pragma once

#include <memory>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OpenData : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const void* info);
  explicit OpenData(const void* info = &theInfo) : AbstractData(info) {}
  OpenData(const OpenData& other);
  OpenData& operator=(const OpenData& other);

  bool has_data() const { return data != nullptr; }
  bool has_buf() const { return buf != nullptr; }
  // Takes ownership.
  void grab(AbstractData* value) { data.reset(value); }
  void swap(OpenData& other);
  // Decodes the held value from the held octets with a fresh Decoder (a codec's do_revisit).
  template <class Decoder, class Env>
  bool decode_held(Env* env) {
    if (!data || !buf) return false;
    Decoder inner(buf->data(), buf->data() + buf->size(), env);
    return data->accept(inner);
  }

  bool isValid() const;
  bool isStrictlyValid() const;

  std::unique_ptr<AbstractData> data;
  std::unique_ptr<std::vector<char>> buf;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// An open type whose record names the contained type; the value holds a default of it.
class TypeConstrainedOpenData : public OpenData {
 public:
  static AbstractData* create(const void* info);
  explicit TypeConstrainedOpenData(const void* info);
  const TypeConstrainedOpenInfo* info() const {
    return static_cast<const TypeConstrainedOpenInfo*>(info_);
  }

 protected:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
};

}  // namespace ASN1
