#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "tests/l2/l2_support.h"

std::string unhex(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  std::string octet;
  while (in >> octet) out += static_cast<char>(std::stoul(octet, nullptr, 16));
  return out;
}

std::vector<std::string> tshark_fields(const std::string& capture, const std::string& args) {
  const std::string command =
      "tshark -n -r " + capture + " " + args + " -T fields -E separator='|' 2>/dev/null";
  std::vector<std::string> lines;
  if (FILE* p = popen(command.c_str(), "r")) {
    char line[1024];
    while (std::fgets(line, sizeof line, p))
      if (std::strchr(line, '|')) lines.emplace_back(line, std::strcspn(line, "\n"));
    pclose(p);
  }
  return lines;
}

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
    Packet frame = packet_of(std::string(reinterpret_cast<char*>(buffer), size_t(n - 2)));
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
