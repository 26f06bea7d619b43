#include "sim/listener.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/event_loop.h"
#include "sim/unix_socket.h"

Listener::Listener(EventLoop& loop, std::string path, int type, Handler handler)
    : loop_(loop), path_(std::move(path)), type_(type), handler_(std::move(handler)) {}

bool Listener::open() {
  if (fd_) return true;
  UniqueFd fd = bound_socket(path_, type_);
  if (!fd) return false;
  if (::listen(fd.get(), 64) != 0) {
    int error = errno;
    ::unlink(path_.c_str());
    errno = error;
    return false;
  }
  fd_ = std::move(fd);
  loop_.watch(fd_.get(), POLLIN, [this](short) { accept_all(); });
  return true;
}

void Listener::close() {
  if (!fd_) return;
  loop_.unwatch(fd_.get());
  fd_.reset();
  ::unlink(path_.c_str());
}

void Listener::accept_all() {
  for (;;) {
    UniqueFd connection(::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection) {
      if (errno != EAGAIN && errno != EINTR) {
        std::cerr << "boardsim: " << path_ << ": accept: " << std::strerror(errno) << std::endl;
      }
      return;
    }
    handler_(std::move(connection));
  }
}
