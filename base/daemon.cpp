#include "base/daemon.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <syslog.h>
#include <unistd.h>

#include "base/hourly_log.h"
#include "base/syslog_client.h"
#include "base/syslog_pump.h"

namespace Daemon {

namespace {

const int kFacilityDaemon = 3;

}  // namespace

Sentry::Sentry(const Params& params) : mode_(params.mode) {
  if (::daemon(params.nochdir, 0) != 0) {
    std::cerr << "daemon() fail!" << std::endl;
    std::exit(2);
  }
  if (mode_ == 0) {
    static char identity[80];
    std::snprintf(identity, sizeof identity, "%s", params.name.c_str());
    syslogManager.openlog(identity, LOG_NDELAY, 0);
    std::cout.rdbuf(new ManagedSysLogStreamBuf(kFacilityDaemon, LOG_NOTICE));
    std::cerr.rdbuf(new ManagedSysLogStreamBuf(kFacilityDaemon, LOG_ERR));
    std::clog.rdbuf(new ManagedSysLogStreamBuf(kFacilityDaemon, LOG_DEBUG));
    std::cin.tie(&std::cout);
    pump_ = std::make_unique<SysLogPump>();
    // Raw writes to descriptors 1 and 2 (the C library's, or those of child processes) reach
    // the syslog socket as they are.
    int sock = syslogManager.socket();
    if (sock >= 0) {
      ::dup2(sock, STDOUT_FILENO);
      ::dup2(sock, STDERR_FILENO);
    }
  } else if (mode_ == 1) {
    files_ = new LogFileStreamBuf(params.name);
    std::cout.rdbuf(files_);
    std::cerr.rdbuf(files_);
    std::clog.rdbuf(files_);
  }
}

Sentry::~Sentry() {
  if (!files_) return;
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  std::clog.rdbuf(nullptr);
  delete files_;
}

void Init(const Params& params) { static Sentry sentry(params); }

}  // namespace Daemon
