#include "base/written_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/fd.h"
#include "base/path.h"

namespace WrittenFile {

namespace {

// Strips the trailing '/' of a folder's path, so that its check is the one of the folder above.
std::string without_trailing_slash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

int open(const std::string& path, int flags) {
  if (!Path::folder_inside_root(path)) return -1;
  // Not O_TRUNC: a file refused below must keep its content.
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags,
               0644));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = ENXIO;
    return -1;
  }
  if (st.st_nlink > 1) {
    errno = EMLINK;
    return -1;
  }
  if (::ftruncate(fd.get(), 0) != 0) return -1;
  return fd.release();
}

bool remove(const std::string& path) {
  return Path::folder_inside_root(path) && std::remove(path.c_str()) == 0;
}

bool make_folder(const std::string& path, mode_t mode) {
  const std::string folder = without_trailing_slash(path);
  return Path::folder_inside_root(folder) && ::mkdir(folder.c_str(), mode) == 0;
}

const char* failure(int error) {
  switch (error) {
    case ELOOP:
      return "a symbolic link, not followed";
    case EXDEV:
      return "a folder on the way leads out of the root";
    case EMLINK:
      return "a file with other links";
    case EISDIR:
      return "a folder, not a regular file";
    case ENXIO:
      return "not a regular file";
    default:
      return std::strerror(error);
  }
}

}  // namespace WrittenFile
