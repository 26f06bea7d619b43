// IPC::Signal: a thin layer over sigaction(2).
//
// Handlers are always installed without SA_SIGINFO: a three-argument handler is called as a
// one-argument one and may use only its signal number.
#pragma once

#include <signal.h>

namespace IPC {
namespace Signal {

class Set {
 public:
  Set() { sigemptyset(&set_); }
  Set(int s1, int s2) : Set() {
    sigaddset(&set_, s1);
    sigaddset(&set_, s2);
  }
  Set(int s1, int s2, int s3) : Set(s1, s2) { sigaddset(&set_, s3); }

  // True when `sig` is a valid signal number.
  static bool is_signal(int sig);

  const sigset_t& get() const { return set_; }

 private:
  sigset_t set_;
};

using Handler = void (*)(int);
using InfoHandler = void (*)(int, siginfo_t*, void*);

// SIG_IGN, resp. SIG_DFL, with an empty mask and no flags; sigaction(2)'s result.
int ignore(int sig);
int system(int sig);

// Installs `handler` with `mask` and `flags` less SA_SIGINFO; sigaction(2)'s result.
int handle(int sig, Handler handler, const Set& mask, int flags);
int handle(int sig, Handler handler, int flags);
int handle(int sig, InfoHandler handler, const Set& mask, int flags);
int handle(int sig, InfoHandler handler, int flags);

// Interrupted system calls restart (disable_int) or fail with EINTR (enable_int).
int disable_int(int sig);
int enable_int(int sig);

}  // namespace Signal
}  // namespace IPC
