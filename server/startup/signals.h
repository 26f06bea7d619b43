// The daemon's signals. The handlers only set flags, end the loop and wake it; the work they
// ask for runs inside the loop, in CheckSignals, a deferred call of every turn.
//
//   SIGPIPE         ignored (a handler that does nothing), SA_RESTART
//   SIGTERM, SIGINT  Multiplexer::terminate, no flags: an interrupted poll returns at once
//   SIGUSR2         doDumpStatus: the status dump, SA_RESTART
//   SIGHUP          updateResources: the resource report to the controller, SA_RESTART
//
// Each handler also writes a byte to a self-pipe whose read end the loop polls, so a signal
// that arrives between the loop's last look at the flags and poll() still ends that poll at
// once, on an idle daemon too. A stop asked before the loop runs is kept and honoured by its
// first turn.
#pragma once

#include <csignal>

#include "base/event.h"
#include "base/fd.h"

namespace Signals {

extern volatile std::sig_atomic_t doDumpStatus;
extern volatile std::sig_atomic_t updateResources;

void SigPipeHandler(int);
void SigTermHandler(int);
void SigUsr2Handler(int);
void SigHupHandler(int);

// Opens the self-pipe and polls it, then installs the five handlers; false (after a log line)
// when the pipe cannot be made: the handlers are installed all the same.
bool Install();

// The read end of the self-pipe, polled by the loop.
class Wake {
 public:
  static Wake& instance();

  bool Activate();
  void Deactivate();
  // Async-signal-safe; keeps errno.
  static void Post();

 private:
  Wake() = default;
  void OnWake(int fd, short revents);

  Event event_;
  Fd write_;
};

}  // namespace Signals
