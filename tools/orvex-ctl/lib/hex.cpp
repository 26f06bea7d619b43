#include "tools/orvex-ctl/lib/hex.h"

#include <cctype>

namespace Ctl {

namespace {

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string to_hex(const std::vector<char>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (char b : bytes) {
    unsigned char u = static_cast<unsigned char>(b);
    text += digits[u >> 4];
    text += digits[u & 0x0F];
  }
  return text;
}

bool from_hex(const std::string& text, std::vector<char>& bytes) {
  bytes.clear();
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    int v = digit_value(c);
    if (v < 0) return false;
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<char>(high << 4 | v));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace Ctl
