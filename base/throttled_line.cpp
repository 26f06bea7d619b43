#include "base/throttled_line.h"

bool ThrottledLine::report() {
  uint32_t left_out = 0;
  if (!throttle_.allow(left_out)) return false;
  write(left_out);
  return true;
}

bool ThrottledLine::flush() {
  uint32_t left_out = 0;
  if (!throttle_.flush(left_out)) return false;
  write(left_out);
  return true;
}

void ThrottledLine::write(uint32_t left_out) {
  text_(os_);
  os_ << LogThrottle::left_out_text(left_out) << std::endl;
}
