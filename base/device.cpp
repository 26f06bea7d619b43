// The device seam. A character device goes straight to open(2) and ioctl(2); a UNIX socket in
// its place is a simulated device (base/device_wire.h describes the messages). Every exchange
// with the simulator is bounded by one 2 s deadline, so a simulator that stopped answering
// costs the caller at most 2 s and an ETIMEDOUT, never a hang.
#include "base/device.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "base/device_wire.h"
#include "base/fd.h"
#include "base/path.h"

namespace Device {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kAnswerTime{2000};

class Deadline {
 public:
  Deadline() : end_(Clock::now() + kAnswerTime) {}
  // Milliseconds left, rounded up; 0 once passed.
  int left_ms() const {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  }

 private:
  Clock::time_point end_;
};

// Logs "device: WHAT: strerror(error)" and leaves `error` in errno. Returns -1.
int fail(const std::string& what, int error) {
  std::cerr << "device: " << what << ": " << std::strerror(error) << std::endl;
  errno = error;
  return -1;
}

std::string request_name(uint32_t request) {
  char text[24];
  std::snprintf(text, sizeof text, "ioctl 0x%08x", request);
  return text;
}

// Waits until `fd` has one of `events`. False with errno ETIMEDOUT when the deadline passes, or
// poll's errno.
bool wait_for(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, deadline.left_ms());
    if (n > 0) return true;
    if (n == 0) {
      errno = ETIMEDOUT;
      return false;
    }
    if (errno != EINTR) return false;
  }
}

// A non-blocking, close-on-exec SOCK_SEQPACKET connection to the socket at `path`.
Fd connect_to(const std::string& path, const Deadline& deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return Fd();
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  Fd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return Fd();
  // A UNIX socket connects at once or, with the listener's backlog full, fails with EAGAIN.
  for (;;) {
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (errno != EAGAIN && errno != EINTR) return Fd();
    if (deadline.left_ms() == 0) {
      errno = ETIMEDOUT;
      return Fd();
    }
    ::poll(nullptr, 0, 10);
  }
}

bool send_message(int fd, iovec* parts, int count, const Deadline& deadline) {
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = count;
  for (;;) {
    if (::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) return true;
    if (errno == EINTR) continue;
    if (errno != EAGAIN || !wait_for(fd, POLLOUT, deadline)) return false;
  }
}

// Receives one message into `parts`. Returns its full length (more than the buffers when it was
// truncated), 0 when the peer closed, -1 with errno. A descriptor passed with it lands in
// `*passed` (close-on-exec); extra ones are closed.
ssize_t receive_message(int fd, iovec* parts, int count, const Deadline& deadline,
                        Fd* passed = nullptr) {
  alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = count;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n;
  for (;;) {
    if (!wait_for(fd, POLLIN, deadline)) return -1;
    n = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC | MSG_TRUNC);
    if (n >= 0) break;
    if (errno != EINTR && errno != EAGAIN) return -1;
  }
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    size_t fds = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < fds; ++i) {
      int received;
      std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof received);
      if (passed && !*passed) {
        *passed = Fd(received);
      } else {
        ::close(received);
      }
    }
  }
  return n;
}

int open_simulated(const std::string& path, int flags) {
  std::string what = "open " + path;
  Deadline deadline;
  Fd connection = connect_to(path, deadline);
  if (!connection) return fail(what, errno);
  DeviceWire::OpenRequest request{static_cast<uint32_t>(flags)};
  iovec out{&request, sizeof request};
  if (!send_message(connection.get(), &out, 1, deadline)) return fail(what, errno);
  DeviceWire::OpenReply reply{};
  iovec in{&reply, sizeof reply};
  Fd device;
  ssize_t n = receive_message(connection.get(), &in, 1, deadline, &device);
  if (n < 0) return fail(what, errno);
  if (n != static_cast<ssize_t>(sizeof reply)) return fail(what + ": bad answer", EPROTO);
  if (reply.error != 0) {
    errno = reply.error;
    return -1;
  }
  if (!device) return fail(what + ": no descriptor in the answer", EPROTO);
  bool mode_set = (flags & O_NONBLOCK) ? NonBlockMode(device.get()) : BlockMode(device.get());
  if (!mode_set) return fail(what, errno);
  return device.release();
}

// True when `fd` is a simulated device's descriptor (a UNIX SOCK_SEQPACKET socket); its inode,
// which names its session, goes to `inode`.
bool simulated(int fd, uint64_t& inode) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  int domain = 0, type = 0;
  socklen_t size = sizeof domain;
  if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) != 0) return false;
  size = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0) return false;
  inode = st.st_ino;
  return domain == AF_UNIX && type == SOCK_SEQPACKET;
}

// The one connection to the simulator's request socket, kept between calls. It is made again
// when the root changed or the simulator went away.
struct RequestConnection {
  Fd fd;
  std::string path;
};

RequestConnection& request_connection() {
  static RequestConnection connection;
  return connection;
}

// Sends the request on the kept connection, connecting first when needed. A send that finds
// the connection dead (the simulator restarted) reconnects once: that request never arrived.
bool send_request(iovec* parts, int count, const Deadline& deadline) {
  RequestConnection& c = request_connection();
  std::string path = Path::board("/dev/.board");
  if (c.path != path) c.fd.close();
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!c.fd) {
      Fd fresh = connect_to(path, deadline);
      if (!fresh) return false;
      c.fd = std::move(fresh);
      c.path = path;
    }
    if (send_message(c.fd.get(), parts, count, deadline)) return true;
    int error = errno;
    c.fd.close();
    errno = error;
    if (error != EPIPE && error != ECONNRESET && error != ENOTCONN) return false;
  }
  return false;
}

int ioctl_simulated(uint64_t inode, uint32_t request, DeviceWire::Kind kind, uint64_t value,
                    void* record, size_t size) {
  std::string what = request_name(request);
  if (size > DeviceWire::kMaxRecord) return fail(what + ": record too large", EINVAL);
  Deadline deadline;
  DeviceWire::IoctlRequest header{request, kind, inode, value};
  iovec out[2] = {{&header, sizeof header}, {record, size}};
  if (!send_request(out, size ? 2 : 1, deadline)) return fail(what, errno);

  RequestConnection& c = request_connection();
  DeviceWire::IoctlReply reply{};
  iovec in[2] = {{&reply, sizeof reply}, {record, size}};
  ssize_t n = receive_message(c.fd.get(), in, size ? 2 : 1, deadline);
  if (n <= 0) {
    int error = n == 0 ? EIO : errno;
    c.fd.close();
    return fail(n == 0 ? what + ": the simulator closed the request socket" : what, error);
  }
  if (n != static_cast<ssize_t>(sizeof reply + size)) {
    c.fd.close();
    return fail(what + ": bad answer", EPROTO);
  }
  if (reply.result < 0) errno = reply.error;
  return reply.result;
}

}  // namespace

int open(const char* path, int flags) {
  std::string rooted = Path::board(path);
  struct stat st;
  if (::stat(rooted.c_str(), &st) != 0) return -1;
  if (S_ISSOCK(st.st_mode)) return open_simulated(rooted, flags);
  if (!S_ISCHR(st.st_mode)) {
    errno = ENODEV;
    return -1;
  }
  return ::open(rooted.c_str(), flags | O_CLOEXEC);
}

int ioctl(int fd, uint32_t request, void* record, size_t size) {
  uint64_t inode;
  if (simulated(fd, inode)) {
    return ioctl_simulated(inode, request, DeviceWire::kRecord, 0, record, size);
  }
  return ::ioctl(fd, static_cast<unsigned long>(request), record);
}

int ioctl(int fd, uint32_t request, unsigned long value) {
  uint64_t inode;
  if (simulated(fd, inode)) {
    return ioctl_simulated(inode, request, DeviceWire::kValue, value, nullptr, 0);
  }
  return ::ioctl(fd, static_cast<unsigned long>(request), value);
}

}  // namespace Device
