// LineStreamBuf: a stream buffer that sends text to a descriptor one whole line per write(2).
//
// Text collects until a line ends; then every finished line goes out in one write, so a log line
// is never cut by another writer, and nothing finished waits in a buffer that an abort would
// lose. sync() writes only finished lines: a stream with unitbuf (std::cerr) syncs after every
// insertion, and a line written in many insertions still leaves in one piece. An unfinished line
// waits for its end, for flush_all() or for the destruction; one longer than 64 KiB goes out in
// pieces.
#pragma once

#include <streambuf>
#include <vector>

class LineStreamBuf : public std::streambuf {
 public:
  static constexpr size_t kLongestLine = 65536;

  explicit LineStreamBuf(int fd);
  LineStreamBuf(const LineStreamBuf&) = delete;
  LineStreamBuf& operator=(const LineStreamBuf&) = delete;
  ~LineStreamBuf() override;

  // Writes everything held, an unfinished line included.
  void flush_all();

  // Gives std::cout a buffer on descriptor 1, and std::cerr and std::clog one shared buffer on
  // descriptor 2, all with unitbuf, for the rest of the process; what is held is written at
  // exit. Later calls do nothing.
  static void UseForStandardStreams();

 protected:
  int sync() override;
  int_type overflow(int_type c) override;

 private:
  // Writes the held text up to `end` and keeps the rest.
  void write_through(const char* end);

  int fd_;
  std::vector<char> area_;
};
