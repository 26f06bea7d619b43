#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/l2/l2_support.h"
#include "tests/support/temp_root.h"

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = std::string(ORVEX_TEST_DIR) + "/golden/" + name + ".txt";
  const char* update = std::getenv("ORVEX_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::ofstream(path) << actual;
    return;
  }
  EXPECT_EQ(read_file(path), actual)
      << "golden text " << path << " (ORVEX_UPDATE_GOLDEN=1 rewrites it)";
}

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

std::vector<std::string> tshark_lapd_fields(const std::vector<std::string>& frames,
                                            const std::string& args) {
  TempRoot dir;
  {
    std::ofstream text(dir.path() + "/frames.txt");
    for (const std::string& f : frames) text << "0000 " << packet_of(f).text() << "\n";
  }
  const std::string pcap = dir.path() + "/frames.pcap";
  const std::string convert = "text2pcap -q -F pcap -l 147 " + dir.path() + "/frames.txt " + pcap;
  if (std::system(convert.c_str()) != 0) return {};
  return tshark_fields(
      pcap, "-o 'uat:user_dlts:\"User 0 (DLT=147)\",\"lapd\",\"0\",\"\",\"0\",\"\"' " + args);
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
