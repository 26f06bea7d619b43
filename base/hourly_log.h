// LogFileStreamBuf: a stream buffer that writes what a std::ostream sends it into one log file
// per local hour, DIRECTORY/YYYY_MM_DD-HH.log, each line opened by "MM:SS:uuuuu: " (minute,
// second and microseconds of the time its first characters were written).
//
// The put area is small (16 bytes), so text comes in short pieces: a line gets its prefix with
// its first piece and is continued without one until its line feed. Each line is gathered and
// goes to the file in one write when it ends (an unfinished one when the buffer is destroyed),
// so nothing finished waits in a buffer that an abort would lose. The hour is checked where a
// new line starts; a line begun in one hour stays whole in that hour's file.
// Files are opened for append, so a restart within the hour keeps what that hour already has,
// and close-on-exec; a file that does not open is reported on descriptor 2 with strerror and its
// hour's lines are dropped.
#pragma once

#include <memory>
#include <streambuf>
#include <string>

#include "base/fd.h"

class LogFileStreamBuf : public std::streambuf {
 public:
  explicit LogFileStreamBuf(const std::string& directory);
  LogFileStreamBuf(const LogFileStreamBuf&) = delete;
  LogFileStreamBuf& operator=(const LogFileStreamBuf&) = delete;
  // Writes the text still in the put area, then closes the file.
  ~LogFileStreamBuf() override;

  // Closes the current file and opens the one of the current hour.
  void NewFile();

 protected:
  // Buffers below 2 bytes are ignored. The caller keeps ownership of the buffer, which must
  // outlive the stream buffer or be replaced first.
  std::streambuf* setbuf(char* buffer, std::streamsize size) override;
  int sync() override;
  int_type overflow(int_type c) override;

 private:
  void open_hour(const struct tm& local);
  // Writes the gathered line to the file in one write.
  void write_line();

  Fd file_;
  std::string directory_;
  int hour_ = -1;
  bool mid_line_ = false;
  // The line being gathered, prefix included.
  std::string line_;
  std::unique_ptr<char[]> owned_;
};
