#include "base/write_all.h"

#include <unistd.h>

#include <cerrno>

bool write_all(int fd, const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += size_t(n);
  }
  return true;
}
