#include "base/log_throttle.h"

#include "base/mux_clock.h"

bool LogThrottle::allow(uint32_t& left_out) {
  const uint32_t now = Mux::milliseconds();
  if (written_ && now - last_ms_ < interval_ms_) {
    ++left_out_;
    return false;
  }
  written_ = true;
  last_ms_ = now;
  left_out = left_out_;
  left_out_ = 0;
  return true;
}

bool LogThrottle::flush(uint32_t& left_out) {
  if (left_out_ == 0) return false;
  left_out = left_out_ - 1;
  left_out_ = 0;
  written_ = true;
  last_ms_ = Mux::milliseconds();
  return true;
}

std::string LogThrottle::left_out_text(uint32_t left_out) {
  if (left_out == 0) return {};
  return " (" + std::to_string(left_out) + " similar lines left out)";
}
