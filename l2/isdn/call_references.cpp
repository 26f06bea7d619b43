#include "l2/isdn/call_references.h"

#include <algorithm>

namespace ISDN {

bool read_call_reference(const unsigned char* message, unsigned length, unsigned& value,
                         unsigned& type) {
  if (length < 2) return false;
  const unsigned octets = message[1] & 0x0F;
  if (octets < 1 || octets > 2 || length < 3 + octets) return false;
  value = message[2] & 0x7F;
  if (octets == 2) value = value << 8 | message[3];
  type = message[2 + octets];
  return true;
}

bool CallReferences::holds(unsigned value) const {
  return std::find(values_, values_ + count_, value) != values_ + count_;
}

bool CallReferences::add(unsigned value, unsigned& dropped) {
  if (holds(value)) return false;
  bool full = count_ == kLimit;
  if (full) {
    dropped = values_[0];
    std::copy(values_ + 1, values_ + count_, values_);
    --count_;
  }
  values_[count_++] = static_cast<uint16_t>(value);
  return full;
}

void CallReferences::remove(unsigned value) {
  uint16_t* end = values_ + count_;
  uint16_t* at = std::find(values_, end, value);
  if (at == end) return;
  std::copy(at + 1, end, at);
  --count_;
}

}  // namespace ISDN
