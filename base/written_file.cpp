#include "base/written_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  std::string name;
  const Fd folder(Path::open_folder_inside_root(path, name));
  if (!folder) return -1;
  // Not O_TRUNC: a file refused below must keep its content.
  Fd fd(::openat(folder.get(), name.c_str(),
                 O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, 0644));
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
  std::string name;
  const Fd folder(Path::open_folder_inside_root(path, name));
  if (!folder) return false;
  // As remove(3): a folder is told by unlink's EISDIR.
  return ::unlinkat(folder.get(), name.c_str(), 0) == 0 ||
         (errno == EISDIR && ::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR) == 0);
}

bool make_folder(const std::string& path, mode_t mode) {
  std::string name;
  const Fd folder(Path::open_folder_inside_root(without_trailing_slash(path), name));
  return folder && ::mkdirat(folder.get(), name.c_str(), mode) == 0;
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
