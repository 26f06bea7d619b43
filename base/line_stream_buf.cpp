#include "base/line_stream_buf.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include "base/write_all.h"

namespace {

constexpr size_t kFirstArea = 1024;

}  // namespace

LineStreamBuf::LineStreamBuf(int fd) : fd_(fd), area_(kFirstArea) {
  setp(area_.data(), area_.data() + area_.size());
}

LineStreamBuf::~LineStreamBuf() { flush_all(); }

void LineStreamBuf::flush_all() { write_through(pptr()); }

void LineStreamBuf::write_through(const char* end) {
  // A log that cannot be written drops the text rather than stop the program.
  write_all(fd_, pbase(), size_t(end - pbase()));
  const size_t rest = size_t(pptr() - end);
  std::memmove(area_.data(), end, rest);
  setp(area_.data(), area_.data() + area_.size());
  pbump(int(rest));
}

int LineStreamBuf::sync() {
  const char* start = pbase();
  const size_t held = size_t(pptr() - start);
  const void* last = held ? ::memrchr(start, '\n', held) : nullptr;
  if (last) write_through(static_cast<const char*>(last) + 1);
  return 0;
}

LineStreamBuf::int_type LineStreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  sync();
  if (pptr() == epptr()) {
    // One unfinished line fills the area: make room for more of it, up to the longest line.
    const size_t held = area_.size();
    if (held < kLongestLine) {
      area_.resize(held * 2);
      setp(area_.data(), area_.data() + area_.size());
      pbump(int(held));
    } else {
      flush_all();
    }
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  if (traits_type::to_char_type(c) == '\n') sync();
  return c;
}

void LineStreamBuf::UseForStandardStreams() {
  // Never destroyed: objects destroyed at exit may still log.
  static LineStreamBuf* out = nullptr;
  static LineStreamBuf* err = nullptr;
  if (out) return;
  out = new LineStreamBuf(STDOUT_FILENO);
  err = new LineStreamBuf(STDERR_FILENO);
  std::cout.rdbuf(out);
  std::cerr.rdbuf(err);
  std::clog.rdbuf(err);
  std::cout.setf(std::ios::unitbuf);
  std::cerr.setf(std::ios::unitbuf);
  std::clog.setf(std::ios::unitbuf);
  std::atexit([] {
    out->flush_all();
    err->flush_all();
  });
}
