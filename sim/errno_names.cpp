#include "sim/errno_names.h"

#include <cstring>

#include "sim/command.h"

namespace {

// Above every errno Linux defines.
constexpr int kLastErrno = 4095;

}  // namespace

bool parse_errno(const std::string& text, int& error) {
  uint32_t number;
  if (parse_u32(text, number)) {
    if (number < 1 || number > kLastErrno) return false;
    error = static_cast<int>(number);
    return true;
  }
  for (int e = 1; e <= kLastErrno; ++e) {
    const char* name = ::strerrorname_np(e);
    if (name && text == name) {
      error = e;
      return true;
    }
  }
  return false;
}

std::string errno_name(int error) {
  const char* name = ::strerrorname_np(error);
  return name ? name : std::to_string(error);
}
