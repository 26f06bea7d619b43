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

// While it lives, the folder at `folder` (trailing '/' or not) is swapped for a symbolic link to
// `target` just before the `at`th folder that Path::open_folder_inside_root opens, the moment a
// race would put it there; the folder itself goes to "<folder>-was". One at a time.
class FolderSwap {
 public:
  FolderSwap(std::string folder, std::string target, int at = 1);
  ~FolderSwap();
  FolderSwap(const FolderSwap&) = delete;
  FolderSwap& operator=(const FolderSwap&) = delete;

  // The folder's path without trailing '/'.
  const std::string& folder() const { return folder_; }

 private:
  static void before_open();
  static FolderSwap* active_;

  std::string folder_;
  std::string target_;
  int left_;
};
