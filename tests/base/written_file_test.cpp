// A folder on the way to a file the daemon writes, swapped for a symbolic link as it is opened:
// nothing is created, truncated or removed outside the root through it, and a link that stays
// inside the root is still followed.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/fd.h"
#include "base/path.h"
#include "base/written_file.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

// The folder's names, each file with its content: "made/ server.pid=before".
std::string contents(const std::string& folder) {
  std::string text;
  for (const std::string& name : names_in(folder)) {
    const std::string path = folder + "/" + name;
    text += (text.empty() ? "" : " ") + name +
            (fs::is_directory(path) ? "/" : "=" + read_file(path));
  }
  return text;
}

struct SwapCase {
  const char* name;
  // The operation on a name in ROOT/var/run: whether it succeeded.
  std::function<bool(const std::string& run)> operation;
  bool outside;  // the link leads out of the root; otherwise to ROOT/elsewhere
  int error;     // 0 for success
  std::string after;  // contents() of the link's target afterwards
};

void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.name; }

bool open_pid(const std::string& run) {
  return Fd(WrittenFile::open(run + "/server.pid")).get() >= 0;
}
bool remove_pid(const std::string& run) { return WrittenFile::remove(run + "/server.pid"); }
bool make_made(const std::string& run) { return WrittenFile::make_folder(run + "/made/", 0755); }

class FolderSwappedAfterCheck : public testing::TestWithParam<SwapCase> {};

TEST_P(FolderSwappedAfterCheck, WorksOnTheFolderItFound) {
  const SwapCase& c = GetParam();
  TempRoot root;
  const std::string outside = root.path() + "-outside", elsewhere = root.path() + "/elsewhere";
  const std::string target = c.outside ? outside : elsewhere;
  fs::create_directories(root.path() + "/var/run");
  fs::create_directories(target);
  std::ofstream(target + "/server.pid") << "before";
  const std::string run = root.path() + "/var/run";

  int error = 0;
  {
    FolderSwap swap(run, target);
    if (!c.operation(Path::board("/var/run"))) error = errno;
  }

  EXPECT_TRUE(fs::is_symlink(run));
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(contents(target), c.after);
  EXPECT_EQ(contents(run + "-was"), "");
  fs::remove_all(outside);
}

INSTANTIATE_TEST_SUITE_P(
    WrittenFile, FolderSwappedAfterCheck,
    testing::Values(SwapCase{"OpenOut", open_pid, true, EXDEV, "server.pid=before"},
                    SwapCase{"RemoveOut", remove_pid, true, EXDEV, "server.pid=before"},
                    SwapCase{"MakeFolderOut", make_made, true, EXDEV, "server.pid=before"},
                    SwapCase{"OpenInside", open_pid, false, 0, "server.pid="},
                    SwapCase{"RemoveInside", remove_pid, false, 0, ""},
                    SwapCase{"MakeFolderInside", make_made, false, 0, "made/ server.pid=before"}),
    [](const testing::TestParamInfo<SwapCase>& info) { return std::string(info.param.name); });

}  // namespace
