#include "sim/folders.h"

#include <cerrno>
#include <sys/stat.h>

bool make_folders(const std::string& path) {
  for (size_t slash = 1; slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}
