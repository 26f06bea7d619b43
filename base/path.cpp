#include "base/path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

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

bool folder_inside_root(const std::string& path) {
  const std::string r = root();
  if (r.empty()) return true;
  char real_root[PATH_MAX];
  if (!::realpath(r.c_str(), real_root)) return false;
  std::string folder = path.substr(0, path.rfind('/'));
  char real[PATH_MAX];
  while (!::realpath(folder.empty() ? "/" : folder.c_str(), real)) {
    // Only a folder that is truly missing is passed over: a link to nowhere is not.
    const int error = errno;
    const size_t slash = folder.rfind('/');
    struct stat st;
    if (error != ENOENT || slash == std::string::npos || ::lstat(folder.c_str(), &st) == 0) {
      errno = error;
      return false;
    }
    folder.erase(slash);
  }
  const size_t length = std::strlen(real_root);
  if (std::strncmp(real, real_root, length) == 0 &&
      (real[length] == '\0' || real[length] == '/' || real_root[length - 1] == '/'))
    return true;
  errno = EXDEV;
  return false;
}

}  // namespace Path
