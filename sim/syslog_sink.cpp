#include "sim/syslog_sink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "sim/event_loop.h"
#include "sim/unix_socket.h"

SyslogSink::SyslogSink(EventLoop& loop, const std::string& root)
    : loop_(loop), socket_path_(root + "/dev/log"), file_path_(root + "/var/log/messages") {}

bool SyslogSink::open() {
  if (socket_) return true;
  UniqueFd file(::open(file_path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                       0644));
  if (!file) return false;
  UniqueFd fd = bound_socket(socket_path_, SOCK_DGRAM);
  if (!fd) return false;
  file_ = std::move(file);
  socket_ = std::move(fd);
  loop_.watch(socket_.get(), POLLIN, [this](short) { read_all(); });
  return true;
}

void SyslogSink::close() {
  if (!socket_) return;
  loop_.unwatch(socket_.get());
  socket_.reset();
  ::unlink(socket_path_.c_str());
  file_.reset();
}

// Each datagram is one line: its terminating NULs and line feeds give way to one line feed.
void SyslogSink::read_all() {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::recv(socket_.get(), buffer, sizeof buffer, 0);
    if (n < 0) {
      if (errno != EAGAIN && errno != EINTR) {
        std::cerr << "boardsim: " << socket_path_ << ": " << std::strerror(errno) << std::endl;
      }
      if (errno != EINTR) return;
      continue;
    }
    size_t size = size_t(n);
    while (size > 0 && (buffer[size - 1] == '\0' || buffer[size - 1] == '\n')) --size;
    struct iovec pieces[2] = {{buffer, size}, {const_cast<char*>("\n"), 1}};
    if (::writev(file_.get(), pieces, 2) < 0) {
      std::cerr << "boardsim: " << file_path_ << ": " << std::strerror(errno) << std::endl;
    }
  }
}
