#include "base/pid_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "base/path.h"
#include "base/written_file.h"

namespace Linux {

Run::Run(const char* name) : path_(Path::board(std::string("/var/run/") + name + ".pid")) {
  fd_ = Fd(WrittenFile::open(path_, O_SYNC));
  if (!fd_) {
    std::cerr << "pid file " << path_ << ": " << WrittenFile::failure(errno) << "; not written"
              << std::endl;
    return;
  }
  std::string pid = std::to_string(::getpid());
  if (::write(fd_.get(), pid.data(), pid.size()) != ssize_t(pid.size()) || ::fsync(fd_.get()) != 0)
    std::cerr << "pid file " << path_ << ": " << std::strerror(errno) << std::endl;
}

Run::~Run() {
  if (!fd_) return;
  fd_.close();
  if (!WrittenFile::remove(path_) && errno != ENOENT)
    std::cerr << "pid file " << path_ << ": " << WrittenFile::failure(errno) << "; not removed"
              << std::endl;
}

}  // namespace Linux
