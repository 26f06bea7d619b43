#include "base/child_stop.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <list>
#include <utility>

#include "base/child_groups.h"
#include "base/child_wait.h"
#include "base/mux_clock.h"

namespace {

// SIGKILL or another signal to the whole group of a leader that no one has reaped: its id is
// the group's. A group sent SIGKILL has ended: no member outlives it.
void signal_group(int pgid, int signal) {
  if (::kill(-pgid, signal) == 0) {
    if (signal == SIGKILL) ChildGroups::ended(pgid);
  } else if (errno == ESRCH) {
    ChildGroups::ended(pgid);
  } else {
    std::cerr << "child group " << pgid << ": signal " << signal << ": " << std::strerror(errno)
              << std::endl;
  }
}

// Signals the group that `pid` leads while `pid` is ours: a child that nobody has reaped,
// looked at without reaping (WNOWAIT). A child reaped elsewhere frees its pid for any other
// process, whose group is left alone.
void signal_leader_group(int pid, int signal) {
  siginfo_t info{};
  if (pid <= 0 || ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return;
  signal_group(pid, signal);
}

// A group whose owner has gone, or whose leader has been reaped with members left: stopped,
// and forgotten once ended. While the leader is unreaped, its own wait tells of its end; then
// the group is looked at every kCheckMs, since the ends of its other members (children of
// init by now) reach no wait of ours. With the leader reaped, only the members that
// ChildGroups proves the group's are signalled: the id may have been taken by another group
// between two looks. From the bound on they are killed at each look. Forgotten as soon as none
// is left, and what it held is dropped then, without waiting for the bound.
class Orphan {
 public:
  // The leader `pid` runs: `signal` to its group, and its end awaited; `held` is dropped with
  // the stop.
  Orphan(int pid, int signal, ChildStop::Held held)
      : pgid_(pid), leader_reaped_(false), held_(std::move(held)) {
    wait_.Bind(this, &Orphan::on_end);
    wait_.Attach(pid);
    signal_leader_group(pid, signal);
    bound_.set(ChildStop::kGraceMs, &Orphan::on_bound, this);
  }
  // The leader `pgid` was reaped: only the bound, `bound_ms` from now.
  Orphan(int pgid, unsigned bound_ms, ChildStop::Held held)
      : pgid_(pgid), leader_reaped_(true), held_(std::move(held)) {
    bound_.set(bound_ms, &Orphan::on_bound, this);
    check_.set(kCheckMs, &Orphan::on_check, this);
  }
  Orphan(const Orphan&) = delete;
  Orphan& operator=(const Orphan&) = delete;
  // The daemon exits while the group is within its grace.
  ~Orphan() {
    if (bound_.get()) end_group();
  }

 private:
  static constexpr unsigned kCheckMs = 100;

  // The members left keep the bound.
  void on_end(int) {
    leader_reaped_ = true;
    on_check();
  }
  void on_check() {
    if (ChildGroups::signal(pgid_, bound_.get() ? 0 : SIGKILL) == 0) return forget();
    check_.set(kCheckMs, &Orphan::on_check, this);
  }
  void on_bound() {
    if (leader_reaped_) return on_check();
    signal_leader_group(pgid_, SIGKILL);
    forget();
  }
  void end_group() {
    bound_.reset();
    if (!leader_reaped_) {
      signal_leader_group(pgid_, SIGKILL);
    } else {
      ChildGroups::signal(pgid_, SIGKILL);
    }
  }
  void forget();

  int pgid_;
  bool leader_reaped_;
  ChildWait wait_;
  Timer bound_;
  Timer check_;
  ChildStop::Held held_;
};

std::list<Orphan>& orphans() {
  static std::list<Orphan> all;
  return all;
}

// Deletes this orphan, which signals nothing more.
void Orphan::forget() {
  bound_.reset();
  std::list<Orphan>& all = orphans();
  for (auto o = all.begin(); o != all.end(); ++o) {
    if (&*o != this) continue;
    all.erase(o);
    return;
  }
}

}  // namespace

int ChildStop::spawn(ChildProgram program) {
  program.own_group = true;
  return ::spawn(program);
}

void ChildStop::ask(int pid, int signal) { signal_leader_group(pid, signal); }

void ChildStop::kill(int pid) {
  ask(pid, SIGKILL);
  cancel();
}

void ChildStop::ended(int pid, int signal, Held held) {
  if (!stopping()) return end_rest(pid, signal, kGraceMs, std::move(held));
  const int32_t left = static_cast<int32_t>(timer_.get()->expiry() - Mux::milliseconds());
  cancel();
  end_rest(pid, 0, left > 0 ? static_cast<unsigned>(left) : 0, std::move(held));
}

void ChildStop::end_rest(int pid, int signal, Held held) {
  end_rest(pid, signal, kGraceMs, std::move(held));
}

void ChildStop::end_rest(int pgid, int signal, unsigned bound_ms, Held held) {
  if (pgid <= 0 || ChildGroups::signal(pgid, signal) == 0) return;
  orphans().emplace_back(pgid, bound_ms, std::move(held));
}

void ChildStop::orphan(ChildWait& wait, int signal, Held held) {
  const int pid = wait.pid();
  wait.Detach();
  orphans().emplace_back(pid, signal, std::move(held));
}
