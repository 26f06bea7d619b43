#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

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

std::string tpkt(const std::string& payload) {
  const size_t n = payload.size() + 4;
  return std::string{'\x03', '\x00', char(n >> 8), char(n & 0xFF)} + payload;
}
