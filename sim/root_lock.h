// RootLock: one board per root. A board holds an exclusive flock(2) on DIR/sim.lock for its
// whole life and writes its pid there; a second board on the same root finds the lock taken and
// leaves the first one's sockets alone. The kernel drops the lock when its holder ends, however
// it ends, so a board that was killed leaves no lock behind (the file itself stays: removing it
// would let two boards lock two different files of that name).
#pragma once

#include <string>

#include "sim/unique_fd.h"

class RootLock {
 public:
  enum Result { kTaken, kServed, kFailed };

  explicit RootLock(std::string root) : root_(std::move(root)) {}

  // Makes the root (with its parents) when missing and takes the lock. kServed when another
  // board holds it (then holder() is that board's pid as it wrote it), kFailed with errno.
  Result take();
  const std::string& holder() const { return holder_; }
  std::string path() const { return root_ + "/sim.lock"; }

 private:
  std::string root_;
  std::string holder_;
  UniqueFd fd_;
};

