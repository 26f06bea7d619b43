#include "base/fd.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "base/device.h"

Fd& Fd::operator=(const Fd& other) {
  if (this != &other) {
    if (fd_ >= 0) close();
    fd_ = other.dup();
  }
  return *this;
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int Fd::close() {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  Device::forget(fd_);
  int r = ::close(fd_);
  fd_ = -1;
  return r;
}

int Fd::dup() const {
  if (fd_ < 0) return -1;
  return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
}

bool Fd::NonBlock() const { return fd_ >= 0 && NonBlockMode(fd_); }

int Fd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

namespace {

bool set_fl(int fd, int flag, bool on) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  flags = on ? (flags | flag) : (flags & ~flag);
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

bool NonBlockMode(int fd) { return set_fl(fd, O_NONBLOCK, true); }
bool BlockMode(int fd) { return set_fl(fd, O_NONBLOCK, false); }

bool SetCloexec(int fd, bool on) {
  int flags = ::fcntl(fd, F_GETFD);
  if (flags < 0) return false;
  flags = on ? (flags | FD_CLOEXEC) : (flags & ~FD_CLOEXEC);
  return ::fcntl(fd, F_SETFD, flags) == 0;
}
