// Stream inserters for log lines: a value between double quotes (as it is, or with its control
// characters escaped), and the per-object header that opens every log line ("E1: "). A class
// that logs defines `void PutHeader(std::ostream&) const` and writes its lines as
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

// Text from outside between double quotes, written so that it cannot end or forge a log line or
// drive a terminal: control characters (below 0x20, and 0x7f) as \xNN, '"' and '\\' escaped.
struct OutEscaped {
  const std::string& text;
};

inline OutEscaped escaped(const std::string& text) { return OutEscaped{text}; }

std::ostream& operator<<(std::ostream& os, const OutEscaped& e);

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
