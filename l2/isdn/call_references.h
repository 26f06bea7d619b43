// ISDN::CallReferences: the live call references of one terminal on the network side of a
// basic-rate interface, oldest first, at most kLimit of them. The exchange routes a layer-3
// message to the terminal that holds its call reference.
#pragma once

#include <cstdint>

#include "proto/packet.h"

namespace ISDN {

// Q.931 4.2 to 4.4: what follows the protocol discriminator of a layer-3 message.
struct Layer3Head {
  unsigned octets = 0;  // the length of the call reference value, 0 for the dummy one
  unsigned value = 0;   // the call reference value, its flag removed
  bool flag = false;    // the flag: set on the side that did not allocate the reference
  unsigned type = 0;    // the message type
};
enum class Layer3Read { kOk, kTooShort, kBadLength };

// kBadLength (with head.octets) for a call reference longer than 2 octets, kTooShort for a
// message that ends before the message type.
Layer3Read read_layer3_head(const unsigned char* message, unsigned length, Layer3Head& head);

// The call reference value (one or two octets, its flag removed) and the message type of a
// layer-3 message; false for a message too short for them or with a dummy or longer call
// reference.
bool read_call_reference(const unsigned char* message, unsigned length, unsigned& value,
                         unsigned& type);
inline bool read_call_reference(const Packet& message, unsigned& value, unsigned& type) {
  return message.length() > 0 && read_call_reference(message->data, message.length(), value, type);
}

// Q.931 message types that start and end the life of a call reference.
constexpr unsigned kQ931Setup = 0x05;
constexpr unsigned kQ931ReleaseComplete = 0x5A;

class CallReferences {
 public:
  static constexpr unsigned kLimit = 32;

  bool holds(unsigned value) const;
  // Keeps `value` when it is new. With kLimit held the oldest makes room: true, and `dropped`
  // is that one.
  bool add(unsigned value, unsigned& dropped);
  void remove(unsigned value);
  void clear() { count_ = 0; }
  unsigned count() const { return count_; }

 private:
  uint16_t values_[kLimit] = {};
  unsigned count_ = 0;
};

}  // namespace ISDN
