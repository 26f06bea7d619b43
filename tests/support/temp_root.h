// A private board root for one test: a fresh temporary directory with dev/ in it, set as
// $ORVEXD_ROOT while the object lives; afterwards $ORVEXD_ROOT is as it was before and the
// directory is removed with everything in it.
#pragma once

#include <string>
#include <vector>

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string old_;
  bool had_old_ = false;
};

// The whole content of the file at `path`; empty when it cannot be read.
std::string read_file(const std::string& path);
// The names in the folder at `path`, sorted, but "." and ".."; none when it cannot be read.
std::vector<std::string> names_in(const std::string& path);
