#include "base/path.h"

#include <unistd.h>

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

}  // namespace Path
