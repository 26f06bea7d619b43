#include "base/written_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace WrittenFile {

int open(const std::string& path, int flags) {
  return ::open(path.c_str(),
                O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, 0644);
}

const char* failure(int error) {
  return error == ELOOP ? "a symbolic link, not followed" : std::strerror(error);
}

}  // namespace WrittenFile
