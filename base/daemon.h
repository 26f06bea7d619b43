// Daemon mode: detaches the process once and sends std::cout, std::cerr and std::clog either
// to syslog (mode 0: priorities daemon.notice, daemon.err and daemon.debug; what the socket
// has no room for is sent on a later turn of the loop) or to hourly log files in a directory
// (mode 1, LogFileStreamBuf).
#pragma once

#include <memory>
#include <string>

class LogFileStreamBuf;
class SysLogPump;

namespace Daemon {

struct Params {
  int mode = 0;          // 0 syslog, 1 log files, anything else leaves the streams alone
  bool nochdir = false;  // false: the working directory becomes "/"
  std::string name = "unknown";  // the syslog identity (mode 0) or the log directory (mode 1)
};

// Detaches (daemon(3)) and redirects the streams. On failure writes "daemon() fail!" to
// std::cerr and exits with status 2.
class Sentry {
 public:
  explicit Sentry(const Params& params);
  Sentry(const Sentry&) = delete;
  Sentry& operator=(const Sentry&) = delete;
  // Mode 1: detaches the streams from the log files and closes them. The syslog stream buffers
  // of mode 0 live until the process ends.
  ~Sentry();

 private:
  int mode_;
  LogFileStreamBuf* files_ = nullptr;
  // Mode 0: sends on a later loop turn what the syslog socket had no room for.
  std::unique_ptr<SysLogPump> pump_;
};

// The first call builds the process's one Sentry; later calls do nothing.
void Init(const Params& params);

}  // namespace Daemon
