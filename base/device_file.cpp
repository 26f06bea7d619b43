#include "base/device_file.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"

DeviceFile::~DeviceFile() { lines_.flush(this); }

DeviceFile::Open DeviceFile::open() {
  if (fd_) return kKept;
  fd_ = Fd(Device::open(path_, flags_));
  if (!fd_) return kClosed;
  if (lost_) lines_.write(std::cerr, this, "opened again");
  lost_ = false;
  return kOpened;
}

void DeviceFile::poll(Event& event, short events) {
  if (!fd_) return;
  event.Schedule(fd_, events);
  polled_ = &event;
}

void DeviceFile::close() {
  if (polled_) polled_->Release();
  polled_ = nullptr;
  fd_.close();
}

void DeviceFile::lost() {
  const int error = errno;
  lines_.write(std::cerr, this, "gone: ", std::strerror(error), "; closed until it is back");
  lost_ = true;
  close();
  errno = error;
}

int DeviceFile::checked(int result) {
  if (result < 0 && Device::gone(errno)) lost();
  return result;
}

int DeviceFile::ioctl(uint32_t request, void* record, size_t size) {
  if (!fd_) {
    errno = EBADF;
    return -1;
  }
  return checked(Device::ioctl(fd_.get(), request, record, size));
}

int DeviceFile::ioctl(uint32_t request, unsigned long value) {
  if (!fd_) {
    errno = EBADF;
    return -1;
  }
  return checked(Device::ioctl(fd_.get(), request, value));
}
