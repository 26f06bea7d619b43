#include "base/proc.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Whether the command name in /proc/PID/stat of `pid` is `name`. The name may itself hold
// parentheses: it runs from the first "(" to the last ")".
bool named(int pid, const char* name) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
  std::FILE* f = std::fopen(path, "re");
  if (!f) return false;
  char text[256];
  const size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  text[n] = '\0';
  char* close = std::strrchr(text, ')');
  if (!close) return false;
  *close = '\0';
  const char* open = std::strchr(text, '(');
  return open && std::strcmp(open + 1, name) == 0;
}

}  // namespace

int find_proc_by_name(const char* name, int hint) {
  int result = -1;
  DIR* dir = nullptr;
  for (int candidate = hint;;) {
    if (candidate > 0 && named(candidate, name)) {
      result = candidate;
      break;
    }
    if (!dir && !(dir = opendir("/proc"))) break;
    const dirent* entry = readdir(dir);
    if (!entry) break;
    candidate = std::atoi(entry->d_name);
  }
  if (dir) closedir(dir);
  return result;
}
