#include "tests/l2/frame_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

FrameSocket::FrameSocket() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return;
  ours = fds[0];
  peer = fds[1];
}

FrameSocket::~FrameSocket() {
  if (ours >= 0) ::close(ours);
  if (peer >= 0) ::close(peer);
}

bool FrameSocket::write(const Packet& p) {
  std::string octets(reinterpret_cast<const char*>(p->data), p.length());
  octets.append(2, '\0');
  return ::write(ours, octets.data(), octets.size()) == ssize_t(octets.size());
}

void FrameSocket::read(const std::function<void(Packet&)>& take) {
  unsigned char buffer[600];
  for (pollfd p{ours, POLLIN, 0}; ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);) {
    const ssize_t n = ::read(ours, buffer, sizeof buffer);
    if (n <= 2) return;
    Packet frame;
    frame.reserve_head(0);
    std::memcpy(frame.put(unsigned(n - 2)), buffer, size_t(n - 2));
    take(frame);
  }
}

bool FrameSocket::peer_readable() const {
  pollfd p{peer, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool turns_until(const std::function<bool()>& done, int limit, const std::function<void()>& turn) {
  for (int i = 0; i < limit; ++i) {
    if (done()) return true;
    turn();
  }
  return done();
}
