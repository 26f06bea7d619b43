#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/version.h"
#include "server/startup/command_line.h"

namespace {

struct Case {
  const char* name;
  std::vector<const char*> args;
  int status;  // -1: the daemon starts
  int port;
  bool daemon;
  int clock_disabled;
  // What the standard output holds: "usage", "version" or "".
  const char* out;
};

class CommandLineCase : public testing::TestWithParam<Case> {};

TEST_P(CommandLineCase, StatusPortAndOutput) {
  const Case& c = GetParam();
  std::vector<char*> argv{const_cast<char*>("orvexd")};
  for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
  argv.push_back(nullptr);
  CommandLine line;
  std::ostringstream out;
  int disabled = 0;
  int status = ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), line, out,
                                [&] { ++disabled; });
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(disabled, c.clock_disabled);
  if (status < 0) {
    EXPECT_EQ(line.port, c.port);
    EXPECT_EQ(line.daemon, c.daemon);
  }
  const std::string want = c.out;
  if (want == "usage") {
    EXPECT_EQ(out.str(), std::string(usage_text) + "\n");
  } else if (want == "version") {
    std::ostringstream version;
    version << "server version: " << Version::current << "\n";
    EXPECT_EQ(out.str(), version.str());
  } else {
    EXPECT_EQ(out.str(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineCase,
    testing::Values(
        Case{"NoArguments", {}, -1, 20001, false, 0, ""},
        Case{"Port", {"--port", "20005"}, -1, 20005, false, 0, ""},
        Case{"PortJoined", {"--port=20005"}, -1, 20005, false, 0, ""},
        Case{"PortLastWins", {"--port", "1", "--port", "2"}, -1, 2, false, 0, ""},
        Case{"ShortPortRejected", {"-p", "20005"}, 2, 0, false, 0, "usage"},
        Case{"PortZero", {"--port", "0"}, 2, 0, false, 0, "usage"},
        Case{"PortTooHigh", {"--port", "65536"}, 2, 0, false, 0, "usage"},
        Case{"PortHuge", {"--port", "4294987297"}, 2, 0, false, 0, "usage"},
        Case{"PortSigned", {"--port", "+20001"}, 2, 0, false, 0, "usage"},
        Case{"PortTrailingText", {"--port", "20001x"}, 2, 0, false, 0, "usage"},
        Case{"PortEmpty", {"--port", ""}, 2, 0, false, 0, "usage"},
        Case{"PortMissing", {"--port"}, 2, 0, false, 0, "usage"},
        Case{"Daemon", {"-D"}, -1, 20001, true, 0, ""},
        Case{"Help", {"-h"}, 0, 0, false, 0, "usage"},
        Case{"Version", {"--version"}, 2, 0, false, 0, "version"},
        Case{"VersionThenHelp", {"--version", "-h"}, 0, 0, false, 0, "usage"},
        Case{"Unknown", {"--bogus"}, 2, 0, false, 0, "usage"},
        Case{"DisableClock", {"--disable-clock"}, -1, 20001, false, 1, ""},
        Case{"DisableClockActsWhileParsing", {"--disable-clock", "--bogus"}, 2, 0, false, 1,
             "usage"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
