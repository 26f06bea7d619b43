// The messages between the device seam (base/device.cpp) and a simulated board. Both ends are
// SOCK_SEQPACKET UNIX sockets, so one message is one send and one receive; all fields are in
// native byte order (both ends run on the same host).
//
// Open: the seam connects to the device's socket (e.g. $ORVEXD_ROOT/dev/hal), sends an
// OpenRequest and receives one OpenReply. When `error` is 0 the reply carries, by SCM_RIGHTS, one
// end of a SOCK_SEQPACKET socket pair: the device descriptor. Otherwise `error` is the errno
// that refused the open and nothing is attached. The connection is then closed.
//
// Ioctl: on the one connection to $ORVEXD_ROOT/dev/.board, an IoctlRequest followed, for a
// record request, by the record's bytes; the answer is an IoctlReply followed by the record's
// bytes as the driver left them (exactly as many as were sent; none for a value request).
// `inode` is st_ino of the device descriptor: every duplicate of it has the same one, so it
// names the open session.
#pragma once

#include <cstddef>
#include <cstdint>

namespace DeviceWire {

struct OpenRequest {
  uint32_t flags;  // open(2) flags
};
static_assert(sizeof(OpenRequest) == 4, "OpenRequest layout");

struct OpenReply {
  int32_t error;  // 0, or the errno refusing the open
};
static_assert(sizeof(OpenReply) == 4, "OpenReply layout");

enum Kind : uint32_t {
  kValue = 0,   // the argument is `value` itself
  kRecord = 1,  // the argument is the record that follows the header
};

struct IoctlRequest {
  uint32_t request;  // the board's 32-bit request number
  uint32_t kind;     // Kind
  uint64_t inode;    // st_ino of the device descriptor
  uint64_t value;    // kValue: the argument; kRecord: 0
};
static_assert(sizeof(IoctlRequest) == 24, "IoctlRequest layout");
static_assert(offsetof(IoctlRequest, inode) == 8, "IoctlRequest layout");
static_assert(offsetof(IoctlRequest, value) == 16, "IoctlRequest layout");

struct IoctlReply {
  int32_t result;  // the driver's return value
  int32_t error;   // errno when result is -1, else 0
};
static_assert(sizeof(IoctlReply) == 8, "IoctlReply layout");

// The largest record a request may carry.
constexpr size_t kMaxRecord = 65536;

}  // namespace DeviceWire
