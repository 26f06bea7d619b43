// The board's hardware watchdog (/dev/misc/gw-wd, through the device seam): "START" once after
// opening, "PING" to keep the board alive, "STOP" before closing. No NUL is written. Write
// failures are reported on the standard error stream and change nothing else.
#pragma once

#include "base/fd.h"

class Watchdog {
 public:
  // Opens the device and writes "START"; false (reported, device closed) when either fails.
  bool start();
  // Writes "PING" when open.
  void ping();
  // Writes "STOP" when open, then closes the device.
  void stop();
  bool is_open() const { return bool(fd_); }

 private:
  Fd fd_;
};
