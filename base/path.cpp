#include "base/path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/fd.h"
#include "base/path_internal.h"

namespace Path {

void (*before_folder_open)() = nullptr;

namespace {

// Whether the resolved path `real` is the resolved root `real_root` or lies under it.
bool under(const char* real, const char* real_root) {
  const size_t length = std::strlen(real_root);
  return std::strncmp(real, real_root, length) == 0 &&
         (real[length] == '\0' || real[length] == '/' || real_root[length - 1] == '/');
}

}  // namespace

bool opened_inside_root(int fd) {
  const std::string r = root();
  if (r.empty()) return true;
  char real_root[PATH_MAX];
  if (!::realpath(r.c_str(), real_root)) return false;
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char real[PATH_MAX];
  const ssize_t length = ::readlink(link, real, sizeof real);
  if (length < 0) return false;
  if (static_cast<size_t>(length) == sizeof real) {
    errno = ENAMETOOLONG;
    return false;
  }
  real[length] = '\0';
  if (under(real, real_root)) return true;
  errno = EXDEV;
  return false;
}

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
  if (under(real, real_root)) return true;
  errno = EXDEV;
  return false;
}

int open_folder_inside_root(const std::string& path, std::string& name) {
  if (before_folder_open) before_folder_open();
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Followed links and all: what counts is where the descriptor ended up.
  Fd fd(::open(folder.empty() ? "/" : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!fd) {
    // A folder that does not open may still lie beyond a link out of the root: that is told
    // first, as for a folder that opens.
    const int error = errno;
    if (folder_inside_root(path)) errno = error;
    return -1;
  }
  if (!opened_inside_root(fd.get())) return -1;
  return fd.release();
}

}  // namespace Path
