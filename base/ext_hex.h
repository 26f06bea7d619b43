// Hexadecimal stream inserters for log lines: a byte range as a hex dump and an unsigned number
// with a "0x" prefix. Both leave the stream's format flags as they found them and its fill
// character a blank.
#pragma once

#include <cstddef>
#include <ostream>

namespace ext {

// Every byte of [begin, end) as two upper-case hex digits followed by a blank: "01 AB 7F ".
// With a limit, a range longer than `limit` bytes shows its first `limit` bytes, then "... "
// and its length: "01 AB ... (300 octets)".
struct OutBufInHex {
  static constexpr size_t no_limit = ~size_t{0};

  OutBufInHex(const unsigned char* b, const unsigned char* e, size_t l = no_limit)
      : begin(b), end(e), limit(l) {}
  OutBufInHex(const void* data, size_t size, size_t l = no_limit)
      : begin(static_cast<const unsigned char*>(data)), end(begin + size), limit(l) {}

  void Put(std::ostream& os) const;

  const unsigned char* begin;
  const unsigned char* end;
  size_t limit;
};

// "0x" and the value in upper-case hex, zero-padded on the left to `width` digits (0: none).
struct OutUnsignedInHex {
  explicit OutUnsignedInHex(unsigned v, int w = 0) : value(v), width(w) {}

  void Put(std::ostream& os) const;

  unsigned value;
  int width;
};

inline std::ostream& operator<<(std::ostream& os, const OutBufInHex& h) {
  h.Put(os);
  return os;
}

inline std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& h) {
  h.Put(os);
  return os;
}

}  // namespace ext
