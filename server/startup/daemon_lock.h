// DaemonLock: one daemon for each path root. Before a daemon touches the board it takes an
// exclusive flock(2) on /var/run/NAME.lock (under the root) and holds it for its whole life; a
// second daemon started on a root that one serves finds the lock taken and must not start: it
// would take the board from under the first one (idle its paths, reset its clock, end its
// programs). The kernel drops the lock when its holder ends, however it ends, so a killed
// daemon leaves no lock behind; the file itself stays, since removing it would let two daemons
// lock two different files of that name. The lock is close-on-exec: no program the daemon
// starts holds it. The PID file beside it stays a plain marker.
#pragma once

#include <string>

#include "base/fd.h"

class DaemonLock {
 public:
  enum Result {
    kTaken,   // this daemon holds the lock
    kServed,  // another daemon holds it
    kFailed,  // the lock file cannot be opened or locked (errno): nothing shows another daemon
  };

  explicit DaemonLock(const char* name);
  DaemonLock(const DaemonLock&) = delete;
  DaemonLock& operator=(const DaemonLock&) = delete;

  Result take();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  Fd fd_;
};
