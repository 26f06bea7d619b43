#include "asn1/sequence_of.h"

#include <boost/polymorphic_cast.hpp>

#include "asn1/strings.h"
#include "asn1/visitor.h"

namespace ASN1 {

AbstractData* SEQUENCE_OF_Base::create(const void* info) { return new SEQUENCE_OF_Base(info); }

SEQUENCE_OF_Base::SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other) : ConstrainedObject(other) {
  container.reserve(other.container.size());
  for (const AbstractData* e : other.container) container.push_back(e->clone());
}

SEQUENCE_OF_Base& SEQUENCE_OF_Base::operator=(const SEQUENCE_OF_Base& other) {
  if (this != &other) {
    SEQUENCE_OF_Base copy(other);
    swap(copy);
    info_ = other.info_;
  }
  return *this;
}

SEQUENCE_OF_Base::~SEQUENCE_OF_Base() { clear(); }

AbstractData* SEQUENCE_OF_Base::create_element() const {
  const TypeInfo* e = info()->elementInfo;
  return e->create(e);
}

void SEQUENCE_OF_Base::resize(size_t n) {
  if (n < container.size()) {
    erase(n, container.size());
    return;
  }
  container.reserve(n);
  while (container.size() < n) container.push_back(create_element());
}

void SEQUENCE_OF_Base::clear() { erase(0, container.size()); }

void SEQUENCE_OF_Base::insert(size_t pos, size_t count, const AbstractData& value) {
  Container copies;
  copies.reserve(count);
  for (size_t i = 0; i < count; ++i) copies.push_back(value.clone());
  container.insert(container.begin() + static_cast<std::ptrdiff_t>(pos), copies.begin(),
                   copies.end());
}

void SEQUENCE_OF_Base::insert(size_t pos, Container::const_iterator first,
                              Container::const_iterator last) {
  Container copies;
  for (; first != last; ++first) copies.push_back((*first)->clone());
  container.insert(container.begin() + static_cast<std::ptrdiff_t>(pos), copies.begin(),
                   copies.end());
}

void SEQUENCE_OF_Base::erase(size_t first, size_t last) {
  for (size_t i = first; i < last; ++i) delete container[i];
  container.erase(container.begin() + static_cast<std::ptrdiff_t>(first),
                  container.begin() + static_cast<std::ptrdiff_t>(last));
}

bool SEQUENCE_OF_Base::isValid() const {
  if (!size_within(info(), container.size(), false)) return false;
  for (const AbstractData* e : container)
    if (!e->isValid()) return false;
  return true;
}

bool SEQUENCE_OF_Base::isStrictlyValid() const {
  if (!size_within(info(), container.size(), true)) return false;
  for (const AbstractData* e : container)
    if (!e->isStrictlyValid()) return false;
  return true;
}

int SEQUENCE_OF_Base::do_compare(const AbstractData& other) const {
  const SEQUENCE_OF_Base& o = *boost::polymorphic_downcast<const SEQUENCE_OF_Base*>(&other);
  size_t n = std::min(container.size(), o.container.size());
  for (size_t i = 0; i < n; ++i) {
    int r = container[i]->compare(*o.container[i]);
    if (r != 0) return r;
  }
  return container.size() < o.container.size() ? -1
                                                : (container.size() > o.container.size() ? 1 : 0);
}

AbstractData* SEQUENCE_OF_Base::do_clone() const { return clone_through_record(*this); }
bool SEQUENCE_OF_Base::do_accept(Visitor& v) { return v.do_visit(*this); }
bool SEQUENCE_OF_Base::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

}  // namespace ASN1
