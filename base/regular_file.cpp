#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/fd.h"

namespace RegularFile {

int open(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  return fd.release();
}

}  // namespace RegularFile
