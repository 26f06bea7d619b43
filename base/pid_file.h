// Linux::Run: the PID file guard. While the object lives, "/var/run/" NAME ".pid" (under the
// path root) holds the process id in decimal, with no line end; destroying the object removes
// the file. A file that could not be written is reported and never removed; nothing outside the
// root is written or removed (base/written_file.h says what is refused). The daemon never reads
// the file and takes no lock on it.
#pragma once

#include <string>

#include "base/fd.h"

namespace Linux {

class Run {
 public:
  explicit Run(const char* name);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  ~Run();

  const std::string& path() const { return path_; }
  bool written() const { return bool(fd_); }

 private:
  Fd fd_;
  std::string path_;
};

}  // namespace Linux
