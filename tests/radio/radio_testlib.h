// Helpers of the radio tests: hex text of byte buffers and the output of a shell command.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/orvex-ctl/lib/hex.h"

inline std::string hex_of(const unsigned char* bytes, int n) {
  return n <= 0 ? std::string() : Ctl::to_hex(std::vector<char>(bytes, bytes + n));
}

inline std::vector<unsigned char> bytes_of(const std::string& hex) {
  std::vector<char> b;
  Ctl::from_hex(hex, b);
  return std::vector<unsigned char>(b.begin(), b.end());
}

// The standard output of the shell command `command`; its standard error is dropped.
inline std::string output_of(const std::string& command) {
  std::string text;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    ::pclose(p);
  }
  return text;
}
