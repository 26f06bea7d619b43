// orvex-stub: stands in for a program the daemon runs (pppd, fax, t38). Installed (linked) under
// the program's path, it reads what to do from files beside itself, named after its own path
// PROG as given in argv[0]:
//   PROG.argv      written at start, after PROG.ignore and PROG.say have been seen to: every
//                  argument, argv[0] first, one per line
//   PROG.auth      "SESSION USER PASSWORD": as the authentication program that pppd runs, sends
//                  an auth request for SESSION to 127.0.0.1:52000 and writes the two records
//                  that come back (accept, IP parameters), in hex, one per line, to PROG.replies
//   PROG.auth.DEV  the same for the pppd started on device DEV (the last part of the path of the
//                  device argument that follows "file OPTIONS": hdlc0, mdm1), replies to
//                  PROG.replies.DEV; in place of PROG.auth when both are there
//   PROG.say       its content is written once to descriptor 0 (the standard input)
//   PROG.stdout    its content is printed on the standard output
//   PROG.ignore    present: SIGHUP and SIGTERM are ignored
//   PROG.exit      the exit code; absent: waits for a signal
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool read_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

void write_file(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  std::ofstream(tmp, std::ios::binary) << text;
  std::rename(tmp.c_str(), path.c_str());
}

void put32(std::string& out, uint32_t v) {
  const uint32_t n = htonl(v);
  out.append(reinterpret_cast<const char*>(&n), 4);
}

bool read_all(int fd, char* p, size_t n) {
  while (n) {
    const ssize_t r = ::read(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

std::string hex(const char* p, size_t n) {
  std::string out;
  char two[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(p[i]));
    out += two;
  }
  return out;
}

void authenticate(const std::string& config, const std::string& replies_path) {
  std::istringstream in(config);
  long session;
  std::string user, password;
  in >> session >> user >> password;
  std::string record;
  put32(record, 140);
  put32(record, 1);
  put32(record, static_cast<uint32_t>(session));
  std::string body(128, '\0');
  user.copy(&body[0], 64);
  password.copy(&body[64], 64);
  record += body;

  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(52000);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
  if (::write(fd, record.data(), record.size()) != static_cast<ssize_t>(record.size())) return;
  std::string replies;
  for (size_t size : {16u, 36u}) {
    char reply[36];
    if (!read_all(fd, reply, size)) break;
    replies += hex(reply, size) + "\n";
  }
  write_file(replies_path, replies);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = argv[0];
  std::string text;
  // Before the arguments, whose file tells that the stub has started.
  if (read_file(self + ".ignore", text)) {
    signal(SIGHUP, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
  }
  if (read_file(self + ".say", text)) {
    if (::write(0, text.data(), text.size()) < 0) std::perror("stdin");
  }
  std::string args;
  for (int i = 0; i < argc; ++i) args += std::string(argv[i]) + "\n";
  write_file(self + ".argv", args);

  if (read_file(self + ".stdout", text)) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
  const std::string device = argc > 3 && std::string(argv[1]) == "file" ? argv[3] : "";
  const std::string name = device.substr(device.rfind('/') + 1);
  if (!name.empty() && read_file(self + ".auth." + name, text)) {
    authenticate(text, self + ".replies." + name);
  } else if (read_file(self + ".auth", text)) {
    authenticate(text, self + ".replies");
  }
  if (read_file(self + ".exit", text)) return std::atoi(text.c_str());
  for (;;) ::pause();
}
