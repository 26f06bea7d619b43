#include "base/path.h"

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

}  // namespace Path
