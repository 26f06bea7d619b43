#include "base/watchdog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "base/device.h"

namespace {

bool put(int fd, const char* word) {
  size_t n = std::strlen(word);
  return ::write(fd, word, n) == ssize_t(n);
}

void report(const char* what) { std::cerr << what << std::strerror(errno) << std::endl; }

}  // namespace

bool Watchdog::start() {
  fd_ = Fd(Device::open("/dev/misc/gw-wd", O_WRONLY));
  if (!fd_) {
    report("Mux: fail to open watchdog: ");
    return false;
  }
  if (!put(fd_.get(), "START")) {
    report("Mux: fail to activate watchdog: ");
    fd_.close();
    return false;
  }
  return true;
}

void Watchdog::ping() {
  if (fd_ && !put(fd_.get(), "PING")) report("Mux: ping watchdog failed: ");
}

void Watchdog::stop() {
  if (!fd_) return;
  if (!put(fd_.get(), "STOP")) report("Mux: stop watchdog failed: ");
  fd_.close();
}
