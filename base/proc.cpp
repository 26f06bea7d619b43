#include "base/proc.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Whether the command name of `pid` is `name`.
bool named(int pid, const char* name) {
  ProcStat stat;
  return pid > 0 && read_proc_stat(pid, stat) && stat.name == name;
}

}  // namespace

bool read_proc_stat(int pid, ProcStat& stat) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // A name is at most 16 bytes and the rest a line of numbers: this holds the whole file.
  char text[1024];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return false;
  text[n] = '\0';
  const char* open = std::strchr(text, '(');
  const char* close = std::strrchr(text, ')');
  if (!open || !close || close < open) return false;
  stat.pid = pid;
  stat.name.assign(open + 1, close);
  // Fields 3 to 6 (state, parent, group, session), then the 15 up to the start time, the
  // 22nd of the file.
  return std::sscanf(close + 1,
                     " %c %d %d %d %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s"
                     " %llu",
                     &stat.state, &stat.parent, &stat.group, &stat.session, &stat.start) == 5;
}

bool proc_environ_holds(int pid, const std::string& entry) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/environ", pid);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The entries, each ended by a NUL; the last may lack its NUL when the process wrote over it.
  std::string text;
  char block[4096];
  ssize_t n;
  while ((n = ::read(fd, block, sizeof block)) > 0) text.append(block, size_t(n));
  ::close(fd);
  text += '\0';
  const std::string wanted = entry + '\0';
  for (size_t at = 0; at < text.size(); at = text.find('\0', at) + 1) {
    if (text.compare(at, wanted.size(), wanted) == 0) return true;
  }
  return false;
}

void each_proc(const std::function<void(int)>& visit) {
  DIR* dir = ::opendir("/proc");
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const int pid = std::atoi(entry->d_name);
    if (pid > 0) visit(pid);
  }
  ::closedir(dir);
}

int find_proc_by_name(const char* name, int hint) {
  if (named(hint, name)) return hint;
  int result = -1;
  each_proc([&](int pid) {
    if (result < 0 && named(pid, name)) result = pid;
  });
  return result;
}
