#include "base/ext_header.h"

namespace ext {

std::ostream& operator<<(std::ostream& os, const OutEscaped& e) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : e.text) {
    if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += char(c);
    }
  }
  out += '"';
  return os << out;
}

}  // namespace ext
