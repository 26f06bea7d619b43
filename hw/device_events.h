// Helpers shared by the DSP receiver services: draining a device's fixed-size event records,
// and the errno suffix of their failure messages.
#pragma once

#include <cerrno>
#include <cstring>
#include <ostream>
#include <poll.h>
#include <sys/types.h>
#include <unistd.h>

#include "base/event.h"

// ` errno="TEXT"` for the current errno, as the receiver services end their failure messages.
struct ErrnoSuffix {
  int error = errno;
};

inline std::ostream& operator<<(std::ostream& os, const ErrnoSuffix& e) {
  return os << " errno=\"" << std::strerror(e.error) << '"';
}

// How a drain ended.
enum class DrainEnd {
  kEmpty,   // EAGAIN: nothing more to read
  kClosed,  // a read of 0 bytes: the device has gone away
  kShort,   // a record shorter than expected
  kError,   // read(2) failed otherwise (errno)
};

// Reports on std::cerr how the drain of the device `name` ended, "fail to read from NAME: ...",
// unless it simply ran out of records. A device that has gone away is no longer polled: `event`
// is released, so that the service opens the device again on its next configure request.
void report_drain(Event& event, const char* name, DrainEnd end, ssize_t short_size);

// Serves POLLIN (or a hang-up or error) on the non-blocking device descriptor `fd` of `event`:
// reads records of type Record, one per read, and hands each to `each` until a read brings no
// whole record; then reports how that read ended.
template <class Record, class Each>
void drain_events(Event& event, const char* name, int fd, short revents, Each each) {
  if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
  for (;;) {
    Record record;
    ssize_t n = ::read(fd, &record, sizeof record);
    if (n == static_cast<ssize_t>(sizeof record)) {
      each(record);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0) {
      bool empty = errno == EAGAIN || errno == EWOULDBLOCK;
      return report_drain(event, name, empty ? DrainEnd::kEmpty : DrainEnd::kError, 0);
    } else {
      return report_drain(event, name, n == 0 ? DrainEnd::kClosed : DrainEnd::kShort, n);
    }
  }
}
