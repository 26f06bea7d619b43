#include "l2/isdn/call_references.h"

#include <algorithm>

namespace ISDN {

Layer3Read read_layer3_head(const unsigned char* message, unsigned length, Layer3Head& head) {
  if (length < 2) return Layer3Read::kTooShort;
  // The length in bits 4-1; the flag in bit 8 of the first value octet.
  head.octets = message[1] & 0x0F;
  if (head.octets > 2) return Layer3Read::kBadLength;
  if (length < 3 + head.octets) return Layer3Read::kTooShort;
  head.value = 0;
  head.flag = false;
  if (head.octets > 0) {
    head.flag = message[2] & 0x80;
    head.value = message[2] & 0x7F;
    if (head.octets == 2) head.value = head.value << 8 | message[3];
  }
  head.type = message[2 + head.octets];
  return Layer3Read::kOk;
}

bool read_call_reference(const unsigned char* message, unsigned length, unsigned& value,
                         unsigned& type) {
  Layer3Head head;
  if (read_layer3_head(message, length, head) != Layer3Read::kOk || head.octets == 0) return false;
  value = head.value;
  type = head.type;
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
