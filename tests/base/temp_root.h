// A private board root for one test: a fresh temporary directory with dev/ in it, set as
// $ORVEXD_ROOT while the object lives and removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

class TempRoot {
 public:
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex_root_XXXXXX").string();
    if (::mkdtemp(&pattern[0])) path_ = pattern;
    std::filesystem::create_directories(path_ + "/dev");
    const char* old = std::getenv("ORVEXD_ROOT");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    ::setenv("ORVEXD_ROOT", path_.c_str(), 1);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  ~TempRoot() {
    if (had_old_)
      ::setenv("ORVEXD_ROOT", old_.c_str(), 1);
    else
      ::unsetenv("ORVEXD_ROOT");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string old_;
  bool had_old_ = false;
};
