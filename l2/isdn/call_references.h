// ISDN::CallReferences: the live calls on the network side of a basic-rate interface, and which
// terminal holds each, for routing the layer-3 messages that come down from above.
//
// Q.931 4.3: a call reference value is chosen by the side that originates the call, and its flag
// tells the two origins apart, so a terminal's call 5 and the network's call 5 are two calls. A
// call is keyed on its origin and value; a terminal's calls are those it set up, the network's
// those it set up (a broadcast SETUP) and a terminal then answered, until their RELEASE
// COMPLETE. Two terminals may hold the same key (each chose value 5 for a call of its own, or
// both answered the same broadcast SETUP): the message from above names no terminal, so it goes
// to the one that used the call last.
//
// At most kLimit calls are kept; a new one then makes room by forgetting the call used longest
// ago, which the caller is told about.
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
inline Layer3Read read_layer3_head(const Packet& message, Layer3Head& head) {
  if (message.length() == 0) return Layer3Read::kTooShort;
  return read_layer3_head(message->data, message.length(), head);
}

// Q.931 message types that start and end the life of a call reference.
constexpr unsigned kQ931Setup = 0x05;
constexpr unsigned kQ931ReleaseComplete = 0x5A;

// Who chose a call's reference value.
enum class CallOrigin : uint8_t { kNetwork, kTerminal };

// The origin of the call a message belongs to, from the flag of its call reference and the side
// that sent it.
inline CallOrigin origin_of(const Layer3Head& head, bool from_terminal) {
  return head.flag == from_terminal ? CallOrigin::kNetwork : CallOrigin::kTerminal;
}

// The call a message names, when it names one: not the dummy reference, nor the global
// reference 0 (RESTART), which belong to no call.
inline bool names_a_call(const Layer3Head& head) { return head.octets > 0 && head.value != 0; }

class CallReferences {
 public:
  static constexpr unsigned kLimit = 32;

  struct Call {
    CallOrigin origin = CallOrigin::kNetwork;
    uint16_t value = 0;
    unsigned char tei = 0;
    // The ambiguity of two holders has been logged for this holder.
    bool ambiguity_logged = false;
    uint64_t last_use = 0;
  };

  // Whether terminal `tei` holds the call.
  bool holds(CallOrigin origin, unsigned value, unsigned char tei) const;
  // Terminal `tei` used the call: it is kept, or becomes the latest use. False when a call had
  // to be forgotten to make room; `forgotten` is that one.
  bool use(CallOrigin origin, unsigned value, unsigned char tei, Call& forgotten);
  // The call's RELEASE COMPLETE to or from terminal `tei`.
  void end(CallOrigin origin, unsigned value, unsigned char tei);
  // Every call of a terminal that lost its TEI.
  void forget(unsigned char tei);
  // The terminal that used the call last, or null; `holders` is the number of terminals that
  // hold it.
  const Call* holder(CallOrigin origin, unsigned value, unsigned& holders) const;
  // Marks the ambiguity of the call's holders logged: false when it was logged already for each.
  bool note_ambiguity(CallOrigin origin, unsigned value);

  // A SETUP the network sent for its call `value`: the terminals' answers to it are recorded.
  // Holders of an earlier call with that value are forgotten: the network has ended it.
  void network_setup(unsigned value);
  // Whether the network sent a SETUP for `value` lately (among its last kLimit).
  bool network_set_up(unsigned value) const;

  unsigned count() const { return count_; }

 private:
  bool matches(const Call& c, CallOrigin origin, unsigned value) const {
    return c.origin == origin && c.value == value;
  }
  // The index of terminal `tei`'s entry of the call; count_ when it holds none.
  unsigned find(CallOrigin origin, unsigned value, unsigned char tei) const;
  void remove_at(unsigned i);
  // Removes every call that `match` takes, keeping the others in order.
  template <class Match>
  void remove_where(Match match);

  Call calls_[kLimit];
  unsigned count_ = 0;
  uint64_t uses_ = 0;
  // The values of the network's last SETUPs, a ring.
  uint16_t setups_[kLimit] = {};
  unsigned setups_count_ = 0;
  unsigned setups_next_ = 0;
};

}  // namespace ISDN
