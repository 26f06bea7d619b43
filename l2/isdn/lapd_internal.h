// Helpers shared by the files of ISDN::LAPD and nothing else.
#pragma once

#include <iostream>
#include <new>

#include "base/ext_header.h"
#include "base/throttled_line.h"
#include "l2/isdn/frame_address.h"
#include "l2/isdn/lapd.h"

namespace ISDN {

// Marks one running entry point of a link. The link's destructor clears the marks of every
// entry point still on the stack, so code that reported upward can tell whether the link still
// exists.
class LAPD::Entry {
 public:
  explicit Entry(LAPD* lapd);
  ~Entry();
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;
  bool alive() const { return lapd_ != nullptr; }

 private:
  friend class LAPD;
  // Null once the link is gone.
  LAPD* lapd_;
  Entry* prev_;
};

// Q.921 5.9 and the management error codes of the MDL-ERROR indication, one bit each.
namespace mdl {
constexpr unsigned kSupervisoryF1 = 1;
constexpr unsigned kDmF1 = 2;
constexpr unsigned kUaF1 = 4;
constexpr unsigned kUaF0 = 8;
constexpr unsigned kDmF0 = 16;
constexpr unsigned kPeerReestablish = 32;
constexpr unsigned kN200Sabme = 64;
constexpr unsigned kN200Disc = 128;
constexpr unsigned kN200Enquiry = 256;
constexpr unsigned kNrError = 512;
constexpr unsigned kFrmr = 1024;
constexpr unsigned kN201Error = 16384;
constexpr unsigned kTeiDenied = 32768;
}  // namespace mdl

// Why a layer-3 message is refused that an I frame cannot carry.
constexpr const char* kLongerThanN201 = "longer than N201 (260 octets)";
static_assert(LAPD::n201 == 260, "the refusal names N201's value");

// The line of a link started afresh (SABME or UA) with messages sent and not acknowledged, which
// it discards, under `owner`'s header; the count follows.
template <class Owner>
CountingLine<unsigned> restart_line(const Owner* owner) {
  return {std::clog, [owner](std::ostream& os, unsigned discarded) {
            os << ext::header(owner) << "link started afresh, unacknowledged messages discarded: "
               << discarded;
          }};
}

// Q.921 3.3.2: the C/R bit of a command is 1 from the network side and 0 from the user side; a
// response carries the other value.
inline unsigned command_cr(Side::type side, bool command) {
  return (side == Side::network) == command ? 1 : 0;
}

// Removes the first n octets (n <= length); false when the packet had to be copied first and the
// pool had no buffer.
inline bool pull_header(Packet& p, unsigned n) {
  try {
    p.pull(n);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace ISDN
