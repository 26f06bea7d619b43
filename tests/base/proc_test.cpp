#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

#include "base/proc.h"
#include "base/timestamp.h"
#include "tests/support/temp_root.h"

namespace {

std::string command_name(int pid) {
  std::string text = read_file("/proc/" + std::to_string(pid) + "/stat");
  const size_t open = text.find('('), close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return "";
  return text.substr(open + 1, close - open - 1);
}

// Gives this process a command name for the test's duration.
struct ProcessName {
  explicit ProcessName(const char* name) {
    prctl(PR_GET_NAME, old, 0, 0, 0);
    prctl(PR_SET_NAME, name, 0, 0, 0);
  }
  ~ProcessName() { prctl(PR_SET_NAME, old, 0, 0, 0); }
  char old[17] = {};
};

TEST(FindProc, ByName) {
  const int self = getpid();
  // Unique to this process: other test processes run this case at the same time.
  const std::string name = "t (x) " + std::to_string(self % 1000000) + ")";
  std::string upper = name;
  upper[0] = 'T';
  upper[3] = 'X';
  ProcessName renamed(name.c_str());
  struct Case {
    std::string name;
    int hint;
    bool found_self;
  } cases[] = {
      {name, self, true},
      {name, -1, true},
      {name, 0, true},
      {name, 999999999, true},
      {"t (x", self, false},
      {name.substr(3), self, false},
      {upper, self, false},
      {"", self, false},
  };
  for (const Case& c : cases) {
    const int pid = find_proc_by_name(c.name.c_str(), c.hint);
    if (c.found_self)
      EXPECT_EQ(pid, self) << c.name << " hint " << c.hint;
    else
      EXPECT_EQ(pid, -1) << c.name << " hint " << c.hint;
  }
}

TEST(FindProc, HintOfAnotherProcessScans) {
  const int parent = getppid();
  const std::string name = command_name(parent);
  ASSERT_FALSE(name.empty());
  const int pid = find_proc_by_name(name.c_str(), getpid());
  ASSERT_GT(pid, 0);
  EXPECT_EQ(command_name(pid), name);
}

TEST(Timestamp, Format) {
  std::ostringstream os;
  timestamp(os) << '|';
  EXPECT_TRUE(std::regex_match(os.str(), std::regex(R"(\d\d/\d\d \d\d:\d\d:\d\d\|)"))) << os.str();
}

}  // namespace
