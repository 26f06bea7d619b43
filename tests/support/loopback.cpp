#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

LoopbackListener::LoopbackListener(int backlog)
    : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(fd_.get(), backlog) != 0 ||
      ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a), &length) != 0)
    fd_.close();
  else
    port_ = ntohs(a.sin_port);
}

Fd LoopbackListener::accept() const {
  return Fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
}

unsigned short free_port() {
  Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  socklen_t length = sizeof address;
  if (!s || ::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}

Fd connect_loopback(unsigned short port) {
  Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int on = 1;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) s.close();
  return s;
}

Fd udp_loopback(unsigned short port, bool reuse) {
  Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  if (reuse) ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) s.close();
  return s;
}

unsigned short local_port(const Fd& socket) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
  return ntohs(a.sin_port);
}

std::string receive_datagram(const Fd& socket, int timeout_ms, unsigned short* from) {
  pollfd p{socket.get(), POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) != 1) return "";
  std::string data(65536, '\0');
  sockaddr_in a{};
  socklen_t length = sizeof a;
  const ssize_t n = ::recvfrom(socket.get(), &data[0], data.size(), 0,
                               reinterpret_cast<sockaddr*>(&a), &length);
  if (from) *from = ntohs(a.sin_port);
  data.resize(n > 0 ? size_t(n) : 0);
  return data;
}

Fd unix_socket(int type, const std::string& bind_to, const std::string& connect_to) {
  Fd s(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
  const auto address = [](const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    return a;
  };
  const bool listens = connect_to.empty() && (type & ~(SOCK_NONBLOCK | SOCK_CLOEXEC)) != SOCK_DGRAM;
  sockaddr_un a = address(bind_to);
  if (!bind_to.empty() && (::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
                           (listens && ::listen(s.get(), 8) != 0)))
    s.close();
  a = address(connect_to);
  if (s && !connect_to.empty() &&
      ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    s.close();
  return s;
}

std::string tpkt(const std::string& payload) {
  const size_t n = payload.size() + 4;
  return std::string{'\x03', '\x00', char(n >> 8), char(n & 0xFF)} + payload;
}
