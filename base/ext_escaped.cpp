#include "base/ext_escaped.h"

#include <string>

namespace ext {

std::ostream& operator<<(std::ostream& os, const OutEscaped& e) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(e.text.size() + 2);
  out += '"';
  for (const char c : e.text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b > 0x7e) {
      out += "\\x";
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
    } else {
      out += c;
    }
  }
  out += '"';
  return os << out;
}

}  // namespace ext
