#include "proto/socket_calls.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace Control {

Fd SocketCalls::tcp_socket() {
  return Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

Fd SocketCalls::accept(int listening, INet4::Addr* from) {
  socklen_t len = INet4::Addr::size;
  return Fd(::accept4(listening, from->sa(), &len, SOCK_CLOEXEC));
}

int SocketCalls::connect(int fd, const INet4::Addr& to) {
  return ::connect(fd, to.sa(), INet4::Addr::size);
}

bool SocketCalls::pending_error(int fd, int* error) {
  socklen_t len = sizeof *error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, error, &len) == 0;
}

bool SocketCalls::tcp_info(int fd, unsigned char* state, unsigned char* ca_state) {
  // The record's head: the TCP state, then the congestion state, each one byte.
  unsigned char info[92] = {};
  socklen_t len = sizeof info;
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, info, &len) != 0) return false;
  *state = info[0];
  *ca_state = info[1];
  return true;
}

SocketCalls& SocketCalls::system() {
  static SocketCalls calls;
  return calls;
}

unsigned short LocalPort(const Fd& socket) {
  INet4::Addr local;
  socklen_t len = INet4::Addr::size;
  if (!socket || ::getsockname(socket.get(), local.sa(), &len) != 0) return 0;
  return ntohs(local.in().sin_port);
}

Fd UnixSocket() { return Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

namespace {

static_assert(sizeof(sockaddr_un) == 110, "the family and 108 bytes of path");

// The zeroed address of `path`; false, errno ENAMETOOLONG, when it does not fit.
bool UnixAddress(const std::string& path, sockaddr_un* a) {
  *a = sockaddr_un{};
  a->sun_family = AF_UNIX;
  if (path.size() >= sizeof a->sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(a->sun_path, path.data(), path.size());
  return true;
}

}  // namespace

int BindUnix(int socket, const std::string& path) {
  sockaddr_un a;
  if (!UnixAddress(path, &a)) return -1;
  return ::bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

int ConnectUnix(int socket, const std::string& path) {
  sockaddr_un a;
  if (!UnixAddress(path, &a)) return -1;
  return ::connect(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

Fd AcceptUnix(int listening, std::string* peer) {
  sockaddr_un a{};
  socklen_t len = sizeof a;
  Fd s(::accept4(listening, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC));
  peer->clear();
  const size_t path_bytes = len > offsetof(sockaddr_un, sun_path)
                                ? std::min<size_t>(len - offsetof(sockaddr_un, sun_path),
                                                   sizeof a.sun_path)
                                : 0;
  // An abstract name starts with a zero byte and reads as no path.
  if (s) peer->assign(a.sun_path, ::strnlen(a.sun_path, path_bytes));
  return s;
}

void RemoveStaleSocket(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
}

}  // namespace Control
