// The device seam: every driver front end opens and drives its board device through here
// instead of calling open(2) and ioctl(2) directly.
//
// A path names the device as on the board ("/dev/hal"); it is taken under the path root
// (base/path.h). When the rooted path is a character device the calls are open(2) and ioctl(2).
// When it is a UNIX socket the device is simulated (orvex-boardsim): open() connects to it and
// receives one end of a SOCK_SEQPACKET socket pair, which behaves like the device's descriptor
// (poll(2) works, one read(2) is one frame or event record, one write(2) is one frame,
// O_NONBLOCK is honoured); ioctl() sends the request to the simulator's request socket
// $ORVEXD_ROOT/dev/.board and copies its reply back. read, write and poll are the ordinary
// system calls on the descriptor; close it with Fd, which lets the seam forget it.
//
// Request numbers are the board's literal 32-bit values. Records are plain structs in native
// byte order. A simulator that does not take a request, or answer it, within 2 s fails the call
// with ETIMEDOUT.
// Failures of the exchange with the simulator (no answer, connection lost, a malformed answer)
// are logged on std::cerr as "device: ..." with strerror, at most one line a second for each
// request (or device opened), with the count of those left out; the counts still owed are
// written once the simulator answers again, and at exit. What the driver itself refuses is left
// to the caller, which reports it in its own words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Device {

// Opens the board device `path` with open(2) `flags` (O_NONBLOCK honoured). Returns a
// close-on-exec descriptor, or -1 with errno set.
int open(const char* path, int flags);

// A request whose argument is a record of `size` bytes, read and written in place.
// Returns the driver's result (-1 with errno on failure).
int ioctl(int fd, uint32_t request, void* record, size_t size);

// A request whose argument is the value itself.
int ioctl(int fd, uint32_t request, unsigned long value);

// A datagram socket for the requests on network interfaces (close-on-exec). When the path root
// holds a simulated "/dev/net", that device stands in for it and takes the requests instead of
// the host's kernel. -1 with errno set on failure.
int net_socket();

// Whether a request's `error` says that the device itself has gone (unplugged, or its driver
// unloaded), rather than that the driver refused the request: its descriptor is dead, and only
// an open of the device once it is back serves again.
bool gone(int error);

// Whether `fd` is a simulated device's descriptor.
bool simulated(int fd);

// `fd` is being closed: what the seam learned of it at open no longer holds. Fd::close() calls
// it for every descriptor it closes.
void forget(int fd);

}  // namespace Device
