// The device seam. A character device goes straight to open(2) and ioctl(2); a UNIX socket in
// its place is a simulated device (base/device_wire.h describes the messages). Every exchange
// with the simulator is bounded by a 2 s deadline, so a simulator that stopped answering costs
// the caller 2 s and an ETIMEDOUT, never a hang. A request costs two system calls: what its
// descriptor is was learned at open, and the kept request connection blocks with timeouts.
#include "base/device.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <unistd.h>
#include <unordered_map>

#include "base/device_wire.h"
#include "base/fd.h"
#include "base/log_throttles.h"
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

// The lines of failed exchanges with the simulator. A dead board fails every request the
// daemon makes, many a second: each kind (the request, or the device opened, with what went
// wrong) writes one line a second with the count of those left out. Never destroyed: the
// singletons that are destroyed at exit still make requests.
class FailureLines {
 public:
  void write(const std::string& what, int error) {
    owed_ = true;
    lines_.write(std::cerr, what, [&](std::ostream& os) {
      os << "device: " << what << ": " << std::strerror(error);
    });
  }
  // The series ends (the simulator answers again, or the process ends): each kind writes the
  // count it still owes.
  void flush() {
    if (!owed_) return;
    owed_ = false;
    lines_.flush([](std::ostream& os) { os << "device: "; });
  }

 private:
  LogThrottles lines_;
  bool owed_ = false;
};

FailureLines& failure_lines() {
  static FailureLines* lines = new FailureLines;
  return *lines;
}

// Writes the counts still owed when the process ends.
struct FlushAtExit {
  ~FlushAtExit() { failure_lines().flush(); }
} flush_at_exit;

// Logs "device: WHAT: strerror(error)" (throttled) and leaves `error` in errno. Returns -1.
int fail(const std::string& what, int error) {
  failure_lines().write(what, error);
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

// What the seam knows of the descriptors it opened, learned once at open: a simulated device's
// descriptor with the inode that names its session, or a character device's. Fd::close()
// forgets a descriptor as it goes, so a number used again is learned again.
struct Known {
  bool simulated;
  uint64_t inode;
};

class Descriptors {
 public:
  void learn(int fd, Known what) {
    std::lock_guard<std::mutex> lock(mutex_);
    known_[fd] = what;
  }
  void forget(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    known_.erase(fd);
  }
  bool find(int fd, Known& what) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = known_.find(fd);
    if (it == known_.end()) return false;
    what = it->second;
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<int, Known> known_;
};

Descriptors& descriptors() {
  static Descriptors* table = new Descriptors;  // used by Fd::close() until the process ends
  return *table;
}

// A descriptor the seam did not open (a duplicate, say) is looked at each time: a UNIX
// SOCK_SEQPACKET socket is a simulated device's.
Known examine(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return Known{false, 0};
  int domain = 0, type = 0;
  socklen_t size = sizeof domain;
  if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) != 0) return Known{false, 0};
  size = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0) return Known{false, 0};
  return Known{domain == AF_UNIX && type == SOCK_SEQPACKET, uint64_t(st.st_ino)};
}

Known what_is(int fd) {
  Known what;
  return descriptors().find(fd, what) ? what : examine(fd);
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
  failure_lines().flush();
  if (reply.error != 0) {
    errno = reply.error;
    return -1;
  }
  if (!device) return fail(what + ": no descriptor in the answer", EPROTO);
  bool mode_set = (flags & O_NONBLOCK) ? NonBlockMode(device.get()) : BlockMode(device.get());
  struct stat st;
  if (!mode_set || ::fstat(device.get(), &st) != 0) return fail(what, errno);
  descriptors().learn(device.get(), Known{true, uint64_t(st.st_ino)});
  return device.release();
}

// The one connection to the simulator's request socket, kept between calls: blocking, with the
// answer time as its send and receive timeouts, so a request is one sendmsg and one recvmsg. It
// is made again when the root changed or the simulator went away.
struct RequestConnection {
  Fd fd;
  std::string path;
};

RequestConnection& request_connection() {
  static RequestConnection connection;
  return connection;
}

bool make_request_connection(RequestConnection& c, const std::string& path) {
  Deadline deadline;
  Fd fresh = connect_to(path, deadline);
  if (!fresh) return false;
  timeval limit{};
  limit.tv_sec = kAnswerTime.count() / 1000;
  if (!BlockMode(fresh.get()) ||
      ::setsockopt(fresh.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0 ||
      ::setsockopt(fresh.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
    return false;
  }
  c.fd = std::move(fresh);
  c.path = path;
  return true;
}

// A timed-out blocking call reports EAGAIN.
int timed_out(int error) { return error == EAGAIN || error == EWOULDBLOCK ? ETIMEDOUT : error; }

// Sends the request on the kept connection, connecting first when needed. A send that finds
// the connection dead (the simulator restarted) reconnects once: that request never arrived.
bool send_request(iovec* parts, int count) {
  RequestConnection& c = request_connection();
  std::string path = Path::board("/dev/.board");
  if (c.path != path) c.fd.close();
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = count;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!c.fd && !make_request_connection(c, path)) return false;
    ssize_t n;
    do {
      n = ::sendmsg(c.fd.get(), &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return true;
    int error = timed_out(errno);
    c.fd.close();
    errno = error;
    if (error != EPIPE && error != ECONNRESET && error != ENOTCONN) return false;
  }
  return false;
}

// The answer on the kept connection: its full length (more than the buffers when it was
// truncated), 0 when the simulator closed, -1 with errno.
ssize_t receive_answer(iovec* parts, int count) {
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = count;
  ssize_t n;
  do {
    n = ::recvmsg(request_connection().fd.get(), &message, MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n < 0) errno = timed_out(errno);
  return n;
}

int ioctl_simulated(uint64_t inode, uint32_t request, DeviceWire::Kind kind, uint64_t value,
                    void* record, size_t size) {
  if (size > DeviceWire::kMaxRecord) {
    return fail(request_name(request) + ": record too large", EINVAL);
  }
  DeviceWire::IoctlRequest header{request, kind, inode, value};
  iovec out[2] = {{&header, sizeof header}, {record, size}};
  if (!send_request(out, size ? 2 : 1)) return fail(request_name(request), errno);

  DeviceWire::IoctlReply reply{};
  iovec in[2] = {{&reply, sizeof reply}, {record, size}};
  ssize_t n = receive_answer(in, size ? 2 : 1);
  if (n == static_cast<ssize_t>(sizeof reply + size)) {
    failure_lines().flush();
    if (reply.result < 0) errno = reply.error;
    return reply.result;
  }
  // After a lost or malformed answer the connection is out of step: it is made again.
  int error = n < 0 ? errno : n == 0 ? EIO : EPROTO;
  request_connection().fd.close();
  std::string what = request_name(request);
  if (n == 0) what += ": the simulator closed the request socket";
  if (n > 0) what += ": bad answer";
  return fail(what, error);
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
  int fd = ::open(rooted.c_str(), flags | O_CLOEXEC);
  if (fd >= 0) descriptors().learn(fd, Known{false, 0});
  return fd;
}

int ioctl(int fd, uint32_t request, void* record, size_t size) {
  Known what = what_is(fd);
  if (what.simulated) {
    return ioctl_simulated(what.inode, request, DeviceWire::kRecord, 0, record, size);
  }
  return ::ioctl(fd, static_cast<unsigned long>(request), record);
}

int ioctl(int fd, uint32_t request, unsigned long value) {
  Known what = what_is(fd);
  if (what.simulated) {
    return ioctl_simulated(what.inode, request, DeviceWire::kValue, value, nullptr, 0);
  }
  return ::ioctl(fd, static_cast<unsigned long>(request), value);
}

int net_socket() {
  struct stat st;
  const std::string rooted = Path::board("/dev/net");
  if (!Path::root().empty() && ::stat(rooted.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
    return open_simulated(rooted, O_RDWR);
  }
  return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

bool gone(int error) { return error == ENODEV; }

bool simulated(int fd) { return what_is(fd).simulated; }

void forget(int fd) { descriptors().forget(fd); }

}  // namespace Device
