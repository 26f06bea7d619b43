// DeviceFile: one board device as its front end holds it, opened on first need and kept while
// it serves. A request that fails because the device has gone (ENODEV: unplugged, or its driver
// unloaded) closes the descriptor, with one line; the next open() opens the device again, as at
// start, with one line, and tells the owner that it was opened afresh, so that the owner sets
// the device up again. Both lines are throttled: a device that keeps coming and going writes at
// most one of each a second, with the count of those left out.
//
//   DeviceFile hal_{"/dev/hal", O_RDWR};
//   if (hal_.open() == DeviceFile::kOpened) ...set the device up...
//   if (hal_.ioctl(kRequest, &record, sizeof record) < 0) ...report errno...
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

#include "base/event.h"
#include "base/fd.h"
#include "base/log_throttles.h"

class DeviceFile {
 public:
  // What open() found.
  enum Open { kClosed, kKept, kOpened };

  // The board device `path` ("/dev/hal"), opened with open(2) `flags`.
  DeviceFile(const char* path, int flags) : path_(path), flags_(flags) {}
  ~DeviceFile();
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  // Opens the device when it is closed: kOpened when this call opened it, kKept when it was
  // open, kClosed (errno set) when it cannot be opened.
  Open open();
  explicit operator bool() const { return static_cast<bool>(fd_); }
  int get() const { return fd_.get(); }

  // `event` polls a duplicate of the open descriptor for `events` until the device is closed.
  void poll(Event& event, short events);

  // Requests as Device::ioctl; one that finds the device gone closes it. -1 with errno on a
  // closed device (EBADF) or a refusal.
  int ioctl(uint32_t request, void* record, size_t size);
  int ioctl(uint32_t request, unsigned long value);

  // Closes the device, and stops its polling, without a line.
  void close();
  // The owner read a refusal of its own request (errno) as the device gone, as ioctl() reads
  // ENODEV: the line, and the close.
  void lost();

  void PutHeader(std::ostream& os) const { os << "device " << path_ << ": "; }

 private:
  // The request's result: on a device that has gone, the line and the close.
  int checked(int result);

  const char* path_;
  int flags_;
  Fd fd_;
  Event* polled_ = nullptr;
  // The device went away since it was last opened.
  bool lost_ = false;
  LogThrottles lines_;
};
