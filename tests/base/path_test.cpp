// Whether a folder on the way to a file the daemon writes leads out of the root.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "base/fd.h"
#include "base/path.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

struct FolderCase {
  const char* name;
  // What var/run becomes, given the root: "" leaves it a folder, "none" takes it away, and any
  // other text is the target of a symbolic link, ROOT standing for the root.
  std::string run;
  const char* path;  // under the root
  int error;         // 0 when inside
  // Whether the file's folder is there to open: once opened, it is refused with `error` too.
  bool made = true;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class FolderInsideRoot : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderInsideRoot, LinksOnTheWayAreFollowed) {
  const FolderCase& c = GetParam();
  TempRoot root;
  // A folder beside the root whose name starts with the root's own.
  const std::string sibling = root.path() + "-sibling";
  fs::create_directories(sibling);
  fs::create_directories(root.path() + "/var/run");
  fs::create_directories(root.path() + "/elsewhere");
  if (!c.run.empty()) {
    fs::remove(root.path() + "/var/run");
    std::string target = c.run;
    if (target.rfind("ROOT", 0) == 0) target.replace(0, 4, root.path());
    if (target != "none") fs::create_directory_symlink(target, root.path() + "/var/run");
  }
  // The root named through a link of its own changes nothing.
  const std::string link_to_root = root.path() + "-link";
  fs::create_directory_symlink(root.path(), link_to_root);
  for (const std::string& named : {root.path(), link_to_root}) {
    ASSERT_EQ(::setenv("ORVEXD_ROOT", named.c_str(), 1), 0);
    const bool inside = Path::folder_inside_root(Path::board(c.path));
    const int error = inside ? 0 : errno;
    EXPECT_EQ(error, c.error) << named;
    std::string name;
    const Fd folder(Path::open_folder_inside_root(Path::board(c.path), name));
    const int open_error = folder ? 0 : errno;
    EXPECT_EQ(open_error, c.error == 0 && !c.made ? ENOENT : c.error) << named;
  }
  ASSERT_EQ(::setenv("ORVEXD_ROOT", root.path().c_str(), 1), 0);
  fs::remove(link_to_root);
  fs::remove_all(sibling);
}

INSTANTIATE_TEST_SUITE_P(
    Path, FolderInsideRoot,
    testing::Values(FolderCase{"AFolder", "", "/var/run/server.pid", 0},
                    FolderCase{"LinkInside", "ROOT/elsewhere", "/var/run/server.pid", 0},
                    FolderCase{"RelativeLinkInside", "../elsewhere", "/var/run/server.pid", 0},
                    FolderCase{"MissingFolders", "none", "/var/run/a/b/server.pid", 0, false},
                    FolderCase{"LinkOut", "/", "/var/run/server.pid", EXDEV},
                    FolderCase{"RelativeLinkOut", "../..", "/var/run/server.pid", EXDEV},
                    FolderCase{"LinkToASiblingOfTheRoot", "ROOT-sibling", "/var/run/server.pid",
                               EXDEV},
                    FolderCase{"LinkOutAboveMissingFolders", "/", "/var/run/a/b/file", EXDEV},
                    FolderCase{"LinkOutAsTheFolderItself", "/", "/var/run/", EXDEV},
                    FolderCase{"LinkToNowhere", "ROOT/gone", "/var/run/server.pid", ENOENT}),
    [](const testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

}  // namespace
