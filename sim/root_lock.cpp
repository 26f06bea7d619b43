#include "sim/root_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "sim/folders.h"

RootLock::Result RootLock::take() {
  if (!make_folders(root_)) return kFailed;
  UniqueFd fd(::open(path().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) return kFailed;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return kFailed;
    char text[32];
    const ssize_t n = ::pread(fd.get(), text, sizeof text - 1, 0);
    holder_.assign(text, n > 0 ? size_t(n) : 0);
    return kServed;
  }
  const std::string pid = std::to_string(::getpid());
  if (::ftruncate(fd.get(), 0) != 0 ||
      ::pwrite(fd.get(), pid.data(), pid.size(), 0) != ssize_t(pid.size()))
    return kFailed;
  fd_ = std::move(fd);
  return kTaken;
}
