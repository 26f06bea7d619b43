#include "base/path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace Path {

std::string root() {
  const char* env = std::getenv("ORVEXD_ROOT");
  std::string r = env ? env : "";
  while (!r.empty() && r.back() == '/') r.pop_back();
  return r;
}

std::string board(const std::string& path) {
  std::string r = root();
  if (r.empty()) return path;
  if (!path.empty() && path.front() != '/') return r + "/" + path;
  return r + path;
}

bool make_root_absolute() {
  const std::string r = root();
  if (r.empty() || r.front() == '/') return true;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return false;
  return ::setenv("ORVEXD_ROOT", (std::string(cwd) + "/" + r).c_str(), 1) == 0;
}

bool root_is_directory() {
  const std::string r = root();
  if (r.empty()) return true;
  struct stat st;
  if (::stat(r.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

}  // namespace Path
