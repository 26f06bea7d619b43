// DeviceEvents: a board device that reports fixed-size event records, opened through the device
// seam, polled by the event loop and drained on each wake-up; and the errno suffix of the device
// services' failure messages.
#pragma once

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <ostream>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

#include "base/device.h"
#include "base/event.h"
#include "base/fd.h"

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

// The device's events for its owner: open() opens the device and polls it; every whole Record
// read goes to `deliver`. Each wake-up reads until EAGAIN, a read of 0 bytes (the device has
// gone away: it is released, and the owner's next open() opens it again) or a short record.
template <class Record>
class DeviceEvents {
 public:
  using Deliver = std::function<void(const Record&)>;

  // `name` names the device in failure messages, `event_name` the event in the loop.
  DeviceEvents(const char* name, std::string event_name, Deliver deliver)
      : name_(name), event_name_(std::move(event_name)), deliver_(std::move(deliver)) {}
  DeviceEvents(const DeviceEvents&) = delete;
  DeviceEvents& operator=(const DeviceEvents&) = delete;

  // Opens the board device `path` with open(2) `flags` and O_NONBLOCK, and polls it for
  // records; false with errno when it cannot be opened. A device already open is kept.
  bool open(const char* path, int flags) {
    if (opened()) return true;
    Fd fd(Device::open(path, flags | O_NONBLOCK));
    if (!fd) return false;
    event_.Bind(event_name_, &DeviceEvents::OnEvent, this);
    event_.Schedule(std::move(fd), POLLIN);
    return true;
  }
  bool opened() const { return static_cast<bool>(event_.fd()); }
  // Stops polling the device and closes it.
  void release() { event_.Release(); }
  // The open device's descriptor, for its requests; -1 when closed.
  int fd() const { return event_.fd().get(); }

 private:
  void OnEvent(int fd, short revents) {
    drain_events<Record>(event_, name_, fd, revents, deliver_);
  }

  const char* name_;
  std::string event_name_;
  Deliver deliver_;
  Event event_;
};
