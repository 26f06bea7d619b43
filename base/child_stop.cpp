#include "base/child_stop.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <list>

#include "base/child_wait.h"

namespace {

// A child whose owner has gone: stopped, and forgotten once reaped or killed.
class Orphan {
 public:
  Orphan(int pid, int signal);
  Orphan(const Orphan&) = delete;
  Orphan& operator=(const Orphan&) = delete;
  // The daemon exits while the child is within its grace.
  ~Orphan() {
    if (stop_.stopping()) stop_.kill(wait_.pid());
  }

 private:
  void on_end(int status);
  void on_timeout();
  void forget();

  ChildWait wait_;
  ChildStop stop_;
};

std::list<Orphan>& orphans() {
  static std::list<Orphan> all;
  return all;
}

Orphan::Orphan(int pid, int signal) {
  wait_.Bind(this, &Orphan::on_end);
  wait_.Attach(pid);
  stop_.start(pid, signal, &Orphan::on_timeout, this);
}

void Orphan::on_end(int) {
  stop_.cancel();
  forget();
}

void Orphan::on_timeout() {
  stop_.kill(wait_.pid());
  forget();
}

// Deletes this orphan.
void Orphan::forget() {
  std::list<Orphan>& all = orphans();
  for (auto o = all.begin(); o != all.end(); ++o) {
    if (&*o != this) continue;
    all.erase(o);
    return;
  }
}

}  // namespace

void ChildStop::ask(int pid, int signal) {
  // The pid is ours while it names a child that nobody has reaped: looked at without reaping
  // (WNOWAIT). A child reaped elsewhere frees its pid for any other process, which is left alone.
  siginfo_t info{};
  if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return;
  if (::kill(pid, signal) != 0) {
    std::cerr << "child " << pid << ": signal " << signal << ": " << std::strerror(errno)
              << std::endl;
  }
}

void ChildStop::kill(int pid) {
  ask(pid, SIGKILL);
  cancel();
}

void ChildStop::orphan(ChildWait& wait, int signal) {
  const int pid = wait.pid();
  wait.Detach();
  orphans().emplace_back(pid, signal);
}
