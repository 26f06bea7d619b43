#include "base/ipc_signal.h"

namespace IPC {
namespace Signal {

bool Set::is_signal(int sig) {
  sigset_t empty;
  sigemptyset(&empty);
  return sigismember(&empty, sig) == 0;
}

namespace {

int install(struct sigaction& sa, const sigset_t& mask, int flags, int sig) {
  sa.sa_mask = mask;
  sa.sa_flags = flags & ~SA_SIGINFO;
  return sigaction(sig, &sa, nullptr);
}

int install(int sig, Handler handler, const sigset_t& mask, int flags) {
  struct sigaction sa = {};
  sa.sa_handler = handler;
  return install(sa, mask, flags, sig);
}

// Without SA_SIGINFO the kernel calls the handler with the signal number as its first argument,
// which is all a three-argument handler installed here may read.
int install(int sig, InfoHandler handler, const sigset_t& mask, int flags) {
  struct sigaction sa = {};
  sa.sa_sigaction = handler;
  return install(sa, mask, flags, sig);
}

int set_restart(int sig, bool restart) {
  struct sigaction sa;
  if (sigaction(sig, nullptr, &sa) != 0) return -1;
  if (restart)
    sa.sa_flags |= SA_RESTART;
  else
    sa.sa_flags &= ~SA_RESTART;
  return sigaction(sig, &sa, nullptr);
}

}  // namespace

int ignore(int sig) { return install(sig, SIG_IGN, Set().get(), 0); }

int system(int sig) { return install(sig, SIG_DFL, Set().get(), 0); }

int handle(int sig, Handler handler, const Set& mask, int flags) {
  return install(sig, handler, mask.get(), flags);
}

int handle(int sig, Handler handler, int flags) { return handle(sig, handler, Set(), flags); }

int handle(int sig, InfoHandler handler, const Set& mask, int flags) {
  return install(sig, handler, mask.get(), flags);
}

int handle(int sig, InfoHandler handler, int flags) {
  return handle(sig, handler, Set(), flags);
}

// siginterrupt(3) is sigaction with SA_RESTART cleared or set.
int disable_int(int sig) { return set_restart(sig, true); }

int enable_int(int sig) { return set_restart(sig, false); }

}  // namespace Signal
}  // namespace IPC
