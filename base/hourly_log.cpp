#include "base/hourly_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/mux_clock.h"
#include "base/write_all.h"

namespace {

const size_t kPutArea = 16;

struct Now {
  struct tm local;
  long usec;
};

Now now() {
  Mux::timeval tv;
  Mux::gettimeval(tv);
  Now n{};
  time_t secs = tv.tv_sec;
  ::localtime_r(&secs, &n.local);
  n.usec = tv.tv_usec;
  return n;
}

}  // namespace

LogFileStreamBuf::LogFileStreamBuf(const std::string& directory)
    : directory_(directory), owned_(new char[kPutArea]) {
  setp(owned_.get(), owned_.get() + kPutArea);
  NewFile();
}

LogFileStreamBuf::~LogFileStreamBuf() {
  sync();
  write_line();
}

void LogFileStreamBuf::write_line() {
  if (line_.empty()) return;
  // A log that cannot be written drops the line rather than stop the program.
  if (file_) write_all(file_.get(), line_.data(), line_.size());
  line_.clear();
}

void LogFileStreamBuf::NewFile() {
  write_line();
  open_hour(now().local);
}

void LogFileStreamBuf::open_hour(const struct tm& local) {
  file_.close();
  hour_ = local.tm_hour;
  char name[32];
  ::strftime(name, sizeof name, "%Y_%m_%d-%H", &local);
  const std::string path = directory_ + "/" + name + ".log";
  file_ = Fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  // The standard streams write into this buffer, so the failure goes to descriptor 2 itself.
  if (!file_) ::dprintf(STDERR_FILENO, "log file %s: %s\n", path.c_str(), std::strerror(errno));
}

std::streambuf* LogFileStreamBuf::setbuf(char* buffer, std::streamsize size) {
  if (!buffer || size < 2) return this;
  sync();
  setp(buffer, buffer + size);
  owned_.reset();
  return this;
}

LogFileStreamBuf::int_type LogFileStreamBuf::overflow(int_type c) {
  sync();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int LogFileStreamBuf::sync() {
  const char* p = pbase();
  const char* end = pptr();
  if (!p) return 0;
  auto line_end = [&end](const char* from) {
    return static_cast<const char*>(std::memchr(from, '\n', size_t(end - from)));
  };
  if (mid_line_) {
    const char* lf = line_end(p);
    if (!lf) {
      line_.append(p, end);
      setp(pbase(), epptr());
      return 0;
    }
    line_.append(p, lf + 1);
    write_line();
    mid_line_ = false;
    p = lf + 1;
  }
  Now n = now();
  if (n.local.tm_hour != hour_) open_hour(n.local);
  char prefix[32];
  int prefix_len = std::snprintf(prefix, sizeof prefix, "%02d:%02d:%05ld: ", n.local.tm_min,
                                 n.local.tm_sec, n.usec);
  while (p < end) {
    line_.append(prefix, size_t(prefix_len));
    const char* lf = line_end(p);
    if (!lf) {
      line_.append(p, end);
      mid_line_ = true;
      break;
    }
    line_.append(p, lf + 1);
    write_line();
    p = lf + 1;
  }
  setp(pbase(), epptr());
  return 0;
}
