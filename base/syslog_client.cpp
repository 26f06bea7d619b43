#include "base/syslog_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

#include "base/mux_clock.h"
#include "base/path.h"

SysLogManager syslogManager;

namespace {

const char kDefaultIdentity[] = "syslog-xj";

}  // namespace

SysLogManager::SysLogManager() : socket_type_(SOCK_DGRAM), facility_(LOG_USER) {
  set_identity(kDefaultIdentity);
}

void SysLogManager::set_identity(const char* ident) {
  std::snprintf(identity_, sizeof identity_, "%s", ident);
}

void SysLogManager::openlog(const char* ident, int options, int facility) {
  if (ident) set_identity(ident);
  options_ = options;
  if (facility != 0 && (facility & ~LOG_FACMASK) == 0) facility_ = facility;
  connect_step();
}

void SysLogManager::closelog() {
  disconnect();
  drop_batch();
  set_identity(kDefaultIdentity);
  socket_type_ = SOCK_DGRAM;
}

void SysLogManager::disconnect() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  connected_ = false;
}

// Connects to the syslog socket. A listener of the other socket type refuses with EPROTOTYPE:
// the type is switched and connect tried once more.
void SysLogManager::connect_step() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (socket_ < 0) {
      std::string path = Path::board("/dev/log");
      peer_ = sockaddr_un{};
      peer_.sun_family = AF_UNIX;
      bool fits = path.size() < sizeof peer_.sun_path;
      if (fits) std::memcpy(peer_.sun_path, path.c_str(), path.size() + 1);
      if ((options_ & LOG_NDELAY) && fits) {
        socket_ = ::socket(AF_UNIX, socket_type_ | SOCK_CLOEXEC, 0);
        if (socket_ < 0) return;
      }
    }
    if (socket_ < 0 || connected_) return;
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_) == 0) {
      connected_ = true;
      return;
    }
    int error = errno;
    disconnect();
    if (error != EPROTOTYPE) return;
    socket_type_ = socket_type_ == SOCK_DGRAM ? SOCK_STREAM : SOCK_DGRAM;
  }
}

void SysLogManager::syslog(int priority, const char* format, ...) {
  if (!(level_mask_ & (1 << (priority & LOG_PRIMASK)))) return;
  if ((priority & LOG_FACMASK) == 0) priority |= facility_;

  // RFC 3164 4.1: PRI, TIMESTAMP, then the TAG and the CONTENT.
  std::memset(record_, 0, sizeof record_);
  const size_t room = sizeof record_;
  size_t len = 0;
  auto advance = [&](int n) {
    if (n > 0) len = std::min(len + size_t(n), room - 1);
  };
  advance(std::snprintf(record_, room, "<%d>", priority));
  const size_t body = len;
  time_t now = time_t(Mux::seconds());
  struct tm tm;
  char stamp[32] = "";
  if (::localtime_r(&now, &tm)) ::strftime(stamp, sizeof stamp, "%h %e %T ", &tm);
  advance(std::snprintf(record_ + len, room - len, "%s", stamp));
  if (identity_[0]) advance(std::snprintf(record_ + len, room - len, "%s", identity_));
  if (options_ & LOG_PID) advance(std::snprintf(record_ + len, room - len, "[%d]", int(::getpid())));
  if (identity_[0]) advance(std::snprintf(record_ + len, room - len, ": "));
  va_list args;
  va_start(args, format);
  advance(std::vsnprintf(record_ + len, room - len, format, args));
  va_end(args);

  if (options_ & LOG_PERROR) {
    struct iovec pieces[2] = {{record_ + body, len - body}, {const_cast<char*>("\n"), 1}};
    bool line_end = len > body && record_[len - 1] == '\n';
    ssize_t ignored = ::writev(STDERR_FILENO, pieces, line_end ? 1 : 2);
    (void)ignored;
  }

  if (!connected_) {
    options_ |= LOG_NDELAY;
    connect_step();
  }
  if (connected_) {
    if (add(record_, len + 1) >= 0) return;
    // The batch could not be sent: the socket is closed; connect again and queue the record.
    connect_step();
    if (connected_ && add(record_, len + 1) >= 0) return;
  }
  disconnect();
  if (options_ & LOG_CONS) to_console(record_ + body);
}

void SysLogManager::to_console(const char* body) {
  int fd = ::open(Path::board("/dev/console").c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  ::dprintf(fd, "%s\r\n", body);
  ::close(fd);
}

int SysLogManager::add(const char* record, size_t n) {
  offsets_[count_] = used_;
  std::memcpy(data_ + used_, record, n);
  used_ += n;
  offsets_[++count_] = used_;
  if (count_ >= size_t(kBatchRecords) || used_ >= size_t(kBatchSendBytes)) return sendmsg();
  return 0;
}

void SysLogManager::drop_batch() {
  used_ = 0;
  count_ = 0;
}

int SysLogManager::sendmsg() {
  if (count_ == 0) return 0;
  int result = 0;
  if (socket_ >= 0) {
    size_t from = 0;
    result = send_batch(from);
    if (result < 0) {
      // The listener went away (a restarted syslog daemon): connect again and send what is
      // left once more.
      disconnect();
      options_ |= LOG_NDELAY;
      connect_step();
      if (connected_) result = send_batch(from);
      if (result < 0) disconnect();
    }
  }
  drop_batch();
  return result;
}

int SysLogManager::send_batch(size_t& from) {
  return socket_type_ == SOCK_DGRAM ? send_datagrams(from) : send_stream(from);
}

// One datagram per record: a receiver takes each datagram as one message.
int SysLogManager::send_datagrams(size_t& from) {
  struct iovec pieces[kBatchRecords];
  struct mmsghdr messages[kBatchRecords];
  for (size_t i = 0; i < count_; ++i) {
    pieces[i] = {data_ + offsets_[i], offsets_[i + 1] - offsets_[i]};
    messages[i] = mmsghdr{};
    messages[i].msg_hdr.msg_iov = &pieces[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  while (from < count_) {
    int n = ::sendmmsg(socket_, messages + from, unsigned(count_ - from),
                       MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return drop_rest(from);
    if (n <= 0) return -1;
    from += size_t(n);
  }
  return int(used_);
}

// The records back to back, each ending in its NUL. After a failure `from` is the record
// that was cut, so that a new connection starts with a whole record.
int SysLogManager::send_stream(size_t& from) {
  size_t done = offsets_[from];
  while (done < used_) {
    ssize_t n = ::send(socket_, data_ + done, used_ - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // A record cut in the middle would run into the next one: end the stream there.
      if (done != offsets_[from]) disconnect();
      return drop_rest(from);
    }
    if (n <= 0) return -1;
    done += size_t(n);
    while (from < count_ && offsets_[from + 1] <= done) ++from;
  }
  return int(used_);
}

int SysLogManager::drop_rest(size_t& from) {
  const size_t sent = offsets_[from];
  drops_ += count_ - from;
  from = count_;
  return int(sent);
}

// --- stream buffers ---

SysLogStreamBuf::SysLogStreamBuf(int facility, int level, size_t size)
    : priority_(facility * 8 + level), owned_(new char[size]) {
  setp(owned_.get(), owned_.get() + size - 1);
}

SysLogStreamBuf::~SysLogStreamBuf() { flush_lines(true); }

std::streambuf* SysLogStreamBuf::setbuf(char* buffer, std::streamsize size) {
  if (!buffer || size < 2) return this;
  flush_lines(true);
  setp(buffer, buffer + size - 1);
  owned_.reset();
  return this;
}

SysLogStreamBuf::int_type SysLogStreamBuf::overflow(int_type c) {
  sync();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (pptr() == epptr()) return traits_type::eof();
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int SysLogStreamBuf::sync() {
  flush_lines(false);
  return 0;
}

void SysLogStreamBuf::flush_lines(bool partial_too) {
  char* begin = pbase();
  char* end = pptr();
  if (begin == end) return;
  *end = '\0';
  char* lf = static_cast<char*>(std::memchr(begin, '\n', size_t(end - begin)));
  if (!lf && !partial_too && end != epptr()) return;
  while (lf) {
    log_line(begin, size_t(lf - begin));
    begin = lf + 1;
    lf = static_cast<char*>(std::memchr(begin, '\n', size_t(end - begin)));
  }
  if (begin != end) log_line(begin, size_t(end - begin));
  end_lines();
  setp(pbase(), epptr());
}

void SysLogStreamBuf::log_line(const char* line, size_t n) {
  ::syslog(priority_, "%.*s", int(n), line);
}

ManagedSysLogStreamBuf::~ManagedSysLogStreamBuf() { flush_lines(true); }

void ManagedSysLogStreamBuf::log_line(const char* line, size_t n) {
  syslogManager.syslog(priority_, "%.*s", int(n), line);
}

void ManagedSysLogStreamBuf::end_lines() { syslogManager.sendmsg(); }
