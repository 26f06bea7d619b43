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
  drop_queue();
  set_identity(kDefaultIdentity);
  socket_type_ = SOCK_DGRAM;
}

void SysLogManager::disconnect() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  connected_ = false;
  // A new connection starts with a whole record.
  head_sent_ = 0;
  blocked_ = false;
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
    // The send failed also after connecting again: the queue, this record included, is lost
    // and counted.
  } else {
    ++drops_;
  }
  if (options_ & LOG_CONS) to_console(record_ + body);
}

void SysLogManager::to_console(const char* body) {
  int fd = ::open(Path::board("/dev/console").c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  ::dprintf(fd, "%s\r\n", body);
  ::close(fd);
}

int SysLogManager::add(const char* record, size_t n) {
  if (count_ >= size_t(kQueueRecords) || used_ + n > size_t(kQueueBytes)) {
    ++drops_;
    return 0;
  }
  offsets_[count_] = used_;
  std::memcpy(data_ + used_, record, n);
  used_ += n;
  offsets_[++count_] = used_;
  // While the receiver has no room, the pump sends once it has.
  if (blocked_) return 0;
  if (count_ >= size_t(kBatchRecords) || used_ >= size_t(kBatchSendBytes)) return sendmsg();
  return 0;
}

void SysLogManager::drop_queue() {
  drops_ += count_;
  used_ = 0;
  count_ = 0;
  head_sent_ = 0;
}

int SysLogManager::sendmsg() {
  if (count_ == 0) return 0;
  if (socket_ < 0) {
    drop_queue();
    return 0;
  }
  int result = send_queue();
  if (result < 0) {
    // The listener went away (a restarted syslog daemon): connect again and send what is
    // left once more.
    disconnect();
    options_ |= LOG_NDELAY;
    connect_step();
    if (connected_) result = send_queue();
    if (result < 0) {
      disconnect();
      drop_queue();
    }
  }
  return result;
}

int SysLogManager::send_queue() {
  blocked_ = false;
  return socket_type_ == SOCK_DGRAM ? send_datagrams() : send_stream();
}

void SysLogManager::set_blocked() {
  blocked_ = true;
  if (on_blocked_) on_blocked_();
}

// One datagram per record: a receiver takes each datagram as one message.
int SysLogManager::send_datagrams() {
  struct iovec pieces[kBatchRecords];
  struct mmsghdr messages[kBatchRecords];
  const size_t start = used_;
  while (count_ > 0) {
    const size_t batch = std::min(count_, size_t(kBatchRecords));
    for (size_t i = 0; i < batch; ++i) {
      pieces[i] = {data_ + offsets_[i], offsets_[i + 1] - offsets_[i]};
      messages[i] = mmsghdr{};
      messages[i].msg_hdr.msg_iov = &pieces[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    int n = ::sendmmsg(socket_, messages, unsigned(batch), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      set_blocked();
      break;
    }
    if (n <= 0) return -1;
    forget(size_t(n));
  }
  return int(start - used_);
}

// The records back to back, each ending in its NUL; a send cut inside a record goes on from
// the cut next time.
int SysLogManager::send_stream() {
  const size_t start = used_ - head_sent_;
  while (count_ > 0) {
    ssize_t n = ::send(socket_, data_ + head_sent_, used_ - head_sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      set_blocked();
      break;
    }
    if (n <= 0) return -1;
    const size_t done = head_sent_ + size_t(n);
    size_t whole = 0;
    while (whole < count_ && offsets_[whole + 1] <= done) ++whole;
    const size_t cut = offsets_[whole];
    forget(whole);
    head_sent_ = done - cut;
  }
  return int(start - (used_ - head_sent_));
}

void SysLogManager::forget(size_t records) {
  if (records == 0) return;
  const size_t cut = offsets_[records];
  std::memmove(data_, data_ + cut, used_ - cut);
  for (size_t i = records; i <= count_; ++i) offsets_[i - records] = offsets_[i] - cut;
  used_ -= cut;
  count_ -= records;
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
