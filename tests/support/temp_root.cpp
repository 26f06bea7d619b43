#include "tests/support/temp_root.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include "base/path_internal.h"

TempRoot::TempRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvex_root_XXXXXX").string();
  // Without a root of its own a test would reach the host's board paths.
  if (!::mkdtemp(&pattern[0])) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  path_ = pattern;
  std::filesystem::create_directories(path_ + "/dev");
  const char* old = std::getenv("ORVEXD_ROOT");
  had_old_ = old != nullptr;
  if (old) old_ = old;
  ::setenv("ORVEXD_ROOT", path_.c_str(), 1);
}

TempRoot::~TempRoot() {
  if (had_old_)
    ::setenv("ORVEXD_ROOT", old_.c_str(), 1);
  else
    ::unsetenv("ORVEXD_ROOT");
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> names_in(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

FolderSwap* FolderSwap::active_ = nullptr;

FolderSwap::FolderSwap(std::string folder, std::string target, int at)
    : folder_(std::move(folder)), target_(std::move(target)), left_(at) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  active_ = this;
  Path::before_folder_open = before_open;
}

FolderSwap::~FolderSwap() {
  Path::before_folder_open = nullptr;
  active_ = nullptr;
}

void FolderSwap::before_open() {
  if (--active_->left_ != 0) return;
  std::filesystem::rename(active_->folder_, active_->folder_ + "-was");
  std::filesystem::create_directory_symlink(active_->target_, active_->folder_);
}
