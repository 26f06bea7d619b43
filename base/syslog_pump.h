// SysLogPump: sends the syslog records that the socket had no room for as soon as it has room
// again. It polls syslogManager's socket for POLLOUT only while records wait in its queue, so
// an idle or absent syslog costs the loop nothing. Daemon mode (syslog) makes the one pump.
#pragma once

#include <string>

#include "base/event.h"

class SysLogPump : public EventHandler {
 public:
  // Attaches to the multiplexer and hooks syslogManager.
  SysLogPump();
  ~SysLogPump() override;

  void shedule_event(pollfd& entry) override;
  void svc_event(short revents) override;
  std::string event_name() const override { return "syslog"; }
};
