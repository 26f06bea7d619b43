#include "asn1/open_data.h"

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

const TypeInfo OpenData::theInfo = {&OpenData::create, 0};

AbstractData* OpenData::create(const void* info) { return new OpenData(info); }

OpenData::OpenData(const OpenData& other)
    : AbstractData(other),
      data(other.data ? other.data->clone() : nullptr),
      buf(other.buf ? new std::vector<char>(*other.buf) : nullptr) {}

OpenData& OpenData::operator=(const OpenData& other) {
  if (this != &other) {
    OpenData copy(other);
    swap(copy);
    info_ = other.info_;
  }
  return *this;
}

void OpenData::swap(OpenData& other) {
  data.swap(other.data);
  buf.swap(other.buf);
}

bool OpenData::isValid() const { return data ? data->isValid() : has_buf(); }
bool OpenData::isStrictlyValid() const { return data ? data->isStrictlyValid() : has_buf(); }

int OpenData::do_compare(const AbstractData& other) const {
  const OpenData& o = *boost::polymorphic_downcast<const OpenData*>(&other);
  if (data && o.data) return data->compare(*o.data);
  if (data || o.data) return data ? 1 : -1;
  if (buf && o.buf)
    return lexicographic_compare_bytes(buf->data(), buf->data() + buf->size(), o.buf->data(),
                                       o.buf->data() + o.buf->size());
  if (buf || o.buf) return buf ? 1 : -1;
  return 0;
}

AbstractData* OpenData::do_clone() const { return clone_through_record(*this); }
bool OpenData::do_accept(Visitor& v) { return v.do_visit(*this); }
bool OpenData::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

AbstractData* TypeConstrainedOpenData::create(const void* info) {
  return new TypeConstrainedOpenData(info);
}

TypeConstrainedOpenData::TypeConstrainedOpenData(const void* info) : OpenData(info) {
  const TypeInfo* type = this->info()->type;
  if (type) data.reset(type->create(type));
}

AbstractData* TypeConstrainedOpenData::do_clone() const { return clone_through_record(*this); }
bool TypeConstrainedOpenData::do_accept(Visitor& v) { return v.do_visit(*this); }

}  // namespace ASN1
