#include "base/syslog_pump.h"

#include <poll.h>

#include "base/multiplexer.h"
#include "base/syslog_client.h"

namespace {

SysLogPump* the_pump = nullptr;

// A send left records waiting during the turn: the poll of this turn watches for room too.
void watch_for_room() {
  if (the_pump) multiplexer.refresh(the_pump);
}

}  // namespace

SysLogPump::SysLogPump() {
  the_pump = this;
  syslogManager.on_blocked(watch_for_room);
  mux_attach();
}

SysLogPump::~SysLogPump() {
  mux_detach();
  syslogManager.on_blocked(nullptr);
  if (the_pump == this) the_pump = nullptr;
}

void SysLogPump::shedule_event(pollfd& entry) {
  entry.fd = syslogManager.waiting() > 0 ? syslogManager.socket() : -1;
  entry.events = POLLOUT;
}

void SysLogPump::svc_event(short revents) {
  if (revents) syslogManager.sendmsg();
}
