#include "sim/record.h"

#include <arpa/inet.h>

#include <cstdio>

#include "sim/command.h"

bool parse_i32(const std::string& text, int32_t& value) {
  bool negative = !text.empty() && text[0] == '-';
  uint32_t magnitude;
  if (!parse_u32(negative ? text.substr(1) : text, magnitude)) return false;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) {
    value = static_cast<int32_t>(magnitude);
    return true;
  }
  if (negative ? magnitude > 0x80000000u : magnitude > 0x7fffffffu) return false;
  value = negative ? static_cast<int32_t>(0u - magnitude) : static_cast<int32_t>(magnitude);
  return true;
}

bool parse_hex_bytes(const std::string& text, std::string& bytes) {
  if (text.empty() || text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    uint32_t byte;
    if (!parse_u32("0x" + text.substr(i, 2), byte)) return false;
    bytes.push_back(static_cast<char>(byte));
  }
  return true;
}

std::string hex_bytes(const std::string& bytes, const char* gap) {
  std::string text;
  char digits[3];
  for (unsigned char c : bytes) {
    if (!text.empty()) text += gap;
    std::snprintf(digits, sizeof digits, "%02x", c);
    text += digits;
  }
  return text;
}

std::string dotted(uint32_t network_order) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &network_order, text, sizeof text);
  return text;
}

std::string hex_number(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%02x", value);
  return text;
}
