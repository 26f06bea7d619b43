#include "server/startup/daemon_lock.h"

#include <cerrno>
#include <sys/file.h>

#include "base/path.h"
#include "base/written_file.h"

DaemonLock::DaemonLock(const char* name)
    : path_(Path::board(std::string("/var/run/") + name + ".lock")) {}

DaemonLock::Result DaemonLock::take() {
  // The file holds nothing, so the truncation of the open costs the holder nothing.
  Fd fd(WrittenFile::open(path_));
  if (!fd) return kFailed;
  // A lock that does not wait is not interrupted by a signal.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? kServed : kFailed;
  fd_ = std::move(fd);
  return kTaken;
}
