#include "tests/support/processes.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>

#include "tests/support/temp_root.h"

namespace {

// Calls `visit` with every pid under /proc.
void each_process(const std::function<void(pid_t)>& visit) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return;
  while (const dirent* e = ::readdir(proc)) {
    const pid_t pid = std::atoi(e->d_name);
    if (pid > 0) visit(pid);
  }
  ::closedir(proc);
}

// The fields of `pid`'s stat that follow the command in parentheses; '?' and -1 for a pid
// that names no process.
struct ProcStat {
  char state = '?';
  pid_t parent = -1;
};

ProcStat stat_of(pid_t pid) {
  ProcStat st;
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close != std::string::npos) {
    std::sscanf(stat.c_str() + close + 1, " %c %d", &st.state, &st.parent);
  }
  return st;
}

}  // namespace

std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> found;
  each_process([&](pid_t pid) {
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
  each_process([&](pid_t pid) {
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
