#include "base/pid_file.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

// True when this process holds `file` open, close-on-exec.
bool close_on_exec(const fs::path& file) {
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec) == file)
      return ::fcntl(std::stoi(entry.path().filename()), F_GETFD) & FD_CLOEXEC;
  }
  return false;
}

TEST(PidFile, WrittenWhileTheGuardLives) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& file)> before;  // prepares the file's place
    std::function<void(const fs::path& file)> during;  // acts while the guard lives
    bool written;
  };
  const std::string pid = std::to_string(::getpid());
  const Case cases[] = {
      {"fresh", [](const fs::path&) {}, [](const fs::path&) {}, true},
      {"longer file truncated",
       [](const fs::path& f) { std::ofstream(f) << "123456789012345\n"; },
       [](const fs::path&) {}, true},
      {"changed by someone else",
       [](const fs::path&) {}, [](const fs::path& f) { std::ofstream(f) << "7"; }, true},
      {"no run directory", [](const fs::path& f) { fs::remove(f.parent_path()); },
       [](const fs::path&) {}, false},
      {"path taken by a directory", [](const fs::path& f) { fs::create_directory(f); },
       [](const fs::path&) {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempRoot temp;
    fs::path root(temp.path());
    fs::create_directories(root / "var/run");
    fs::path file = root / "var/run/server.pid";
    c.before(file);
    bool existed = fs::exists(file);
    {
      testing::internal::CaptureStderr();
      Linux::Run run("server");
      std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(run.path(), file.string());
      EXPECT_EQ(run.written(), c.written);
      if (c.written) {
        EXPECT_EQ(err, "");
        EXPECT_EQ(read_file(file), pid);
        EXPECT_TRUE(close_on_exec(file)) << "the descriptor stays open, close-on-exec";
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read);
      } else {
        EXPECT_EQ(err.rfind("pid file " + file.string() + ": ", 0), 0u) << err;
      }
      c.during(file);
    }
    EXPECT_EQ(fs::exists(file), !c.written && existed) << "only a file written is removed";
  }
}

}  // namespace
