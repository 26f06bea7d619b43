// Helpers shared by the DSP receiver services: draining a device's fixed-size event records,
// and the errno suffix of their failure messages.
#pragma once

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sys/types.h>
#include <unistd.h>

// How a drain ended.
enum class DrainEnd {
  kEmpty,   // EAGAIN: nothing more to read
  kClosed,  // a read of 0 bytes: the device has gone away
  kShort,   // a record shorter than expected (its size in `short_size`)
  kError,   // read(2) failed otherwise (errno)
};

// Reads records of type Record from the non-blocking descriptor `fd`, one per read, and hands
// each to `each` until a read brings no whole record.
template <class Record, class Each>
DrainEnd drain_records(int fd, Each each, ssize_t& short_size) {
  for (;;) {
    Record record;
    ssize_t n = ::read(fd, &record, sizeof record);
    if (n == static_cast<ssize_t>(sizeof record)) {
      each(record);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? DrainEnd::kEmpty : DrainEnd::kError;
    if (n == 0) return DrainEnd::kClosed;
    short_size = n;
    return DrainEnd::kShort;
  }
}

// ` errno="TEXT"` for the current errno, as the receiver services end their failure messages.
struct ErrnoSuffix {
  int error = errno;
};

inline std::ostream& operator<<(std::ostream& os, const ErrnoSuffix& e) {
  return os << " errno=\"" << std::strerror(e.error) << '"';
}
