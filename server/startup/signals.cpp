#include "server/startup/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/ipc_signal.h"
#include "base/multiplexer.h"

namespace Signals {

volatile std::sig_atomic_t doDumpStatus = 0;
volatile std::sig_atomic_t updateResources = 0;

namespace {

volatile std::sig_atomic_t wake_fd = -1;
// A stop the loop has not seen yet: run() clears a terminate() that came before it.
volatile std::sig_atomic_t stop_pending = 0;

}  // namespace

void SigPipeHandler(int) {}

void SigTermHandler(int) {
  multiplexer.terminate();
  stop_pending = 1;
  Wake::Post();
}

void SigUsr2Handler(int) {
  doDumpStatus = 1;
  Wake::Post();
}

void SigHupHandler(int) {
  updateResources = 1;
  Wake::Post();
}

bool Install() {
  bool woken = Wake::instance().Activate();
  IPC::Signal::handle(SIGPIPE, SigPipeHandler, SA_RESTART);
  IPC::Signal::handle(SIGTERM, SigTermHandler, 0);
  IPC::Signal::handle(SIGINT, SigTermHandler, 0);
  IPC::Signal::handle(SIGUSR2, SigUsr2Handler, SA_RESTART);
  IPC::Signal::handle(SIGHUP, SigHupHandler, SA_RESTART);
  return woken;
}

Wake& Wake::instance() {
  static Wake wake;
  return wake;
}

bool Wake::Activate() {
  if (write_) return true;
  int ends[2];
  if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
    std::cerr << "signals: pipe: " << std::strerror(errno) << std::endl;
    return false;
  }
  write_ = Fd(ends[1]);
  wake_fd = ends[1];
  event_.Bind("signals", &Wake::OnWake, this);
  event_.Schedule(Fd(ends[0]), POLLIN);
  return true;
}

void Wake::Deactivate() {
  wake_fd = -1;
  event_.Release();
  write_.close();
}

void Wake::Post() {
  int fd = wake_fd;
  if (fd < 0) return;
  int saved = errno;
  // A full pipe already holds a wake-up.
  char byte = 0;
  ssize_t ignored = ::write(fd, &byte, 1);
  (void)ignored;
  errno = saved;
}

void Wake::OnWake(int fd, short revents) {
  if (!(revents & POLLIN)) return;
  char buffer[64];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
  if (stop_pending) {
    stop_pending = 0;
    multiplexer.terminate();
  }
}

}  // namespace Signals
