// Helpers shared by the files of ISDN::LAPD and nothing else.
#pragma once

#include <new>

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
  bool alive() const { return alive_; }

 private:
  friend class LAPD;
  LAPD* lapd_;
  Entry* prev_;
  bool alive_ = true;
};

// Q.921 5.9 and the management error codes of the MDL-ERROR indication, one bit each.
namespace mdl {
constexpr unsigned supervisory_f1 = 1;
constexpr unsigned dm_f1 = 2;
constexpr unsigned ua_f1 = 4;
constexpr unsigned ua_f0 = 8;
constexpr unsigned dm_f0 = 16;
constexpr unsigned peer_reestablish = 32;
constexpr unsigned n200_sabme = 64;
constexpr unsigned n200_disc = 128;
constexpr unsigned n200_enquiry = 256;
constexpr unsigned nr_error = 512;
constexpr unsigned frmr = 1024;
constexpr unsigned tei_denied = 32768;
}  // namespace mdl

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
