// Stream inserters for log lines: a value between double quotes (a text from outside goes through
// ext::escaped, base/ext_escaped.h, instead), and the per-object header that opens every log line
// ("E1: "). A class that logs defines `void PutHeader(std::ostream&) const` and writes its lines as
// `os << ext::header(this) << ...`.
#pragma once

#include <ostream>
#include <string>

namespace ext {

template <typename T>
struct OutQuoted {
  const T& value;
};

template <typename T>
OutQuoted<T> quoted(const T& value) {
  return OutQuoted<T>{value};
}

template <typename T>
std::ostream& operator<<(std::ostream& os, const OutQuoted<T>& q) {
  return os << '"' << q.value << '"';
}

template <typename T>
struct OutObjHeader {
  const T* object;
};

template <typename T>
OutObjHeader<T> header(const T* object) {
  return OutObjHeader<T>{object};
}

template <typename T>
std::ostream& operator<<(std::ostream& os, const OutObjHeader<T>& h) {
  h.object->PutHeader(os);
  return os;
}

}  // namespace ext
