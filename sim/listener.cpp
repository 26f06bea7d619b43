#include "sim/listener.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/event_loop.h"

Listener::Listener(EventLoop& loop, std::string path, int type, Handler handler)
    : loop_(loop), path_(std::move(path)), type_(type), handler_(std::move(handler)) {}

bool Listener::open() {
  if (fd_) return true;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  UniqueFd fd(::socket(AF_UNIX, type_ | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  ::unlink(path_.c_str());
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd.get(), 64) != 0) {
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
