#include "tests/support/processes.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "base/proc.h"
#include "tests/support/temp_root.h"

namespace {

// The state and parent of `pid`: '?' and 0 for a pid that names no process.
ProcStat stat_of(pid_t pid) {
  ProcStat st;
  read_proc_stat(pid, st);
  return st;
}

}  // namespace

std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> found;
  each_proc([&](pid_t pid) {
    if (stat_of(pid).parent == parent) found.push_back(pid);
  });
  return found;
}

bool alive(pid_t pid) {
  const char state = stat_of(pid).state;
  return state != '?' && state != 'Z';
}

std::vector<pid_t> alive_of(const std::vector<pid_t>& pids) {
  std::vector<pid_t> live;
  for (pid_t pid : pids) {
    if (alive(pid)) live.push_back(pid);
  }
  return live;
}

std::vector<pid_t> pids_in(const std::string& path) {
  std::vector<pid_t> pids;
  std::istringstream in(read_file(path));
  for (pid_t pid; in >> pid;) pids.push_back(pid);
  return pids;
}

std::vector<pid_t> running(const std::string& program) {
  std::vector<pid_t> found;
  each_proc([&](pid_t pid) {
    const std::string cmdline = read_file("/proc/" + std::to_string(pid) + "/cmdline");
    if (cmdline.c_str() == program) found.push_back(pid);
  });
  return found;
}

void reap_children(pid_t keep) {
  for (pid_t pid : children_of(::getpid())) {
    if (pid == keep) continue;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}
