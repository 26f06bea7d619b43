#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "base/path.h"
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
  // What the standard output holds: "usage", "help", "version" or "".
  const char* out;
  // The one line on the standard error, after the program's name.
  const char* err = "";
};

class CommandLineCase : public testing::TestWithParam<Case> {};

TEST_P(CommandLineCase, StatusPortAndOutput) {
  const Case& c = GetParam();
  std::vector<char*> argv{const_cast<char*>("orvexd")};
  for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
  argv.push_back(nullptr);
  CommandLine line;
  std::ostringstream out, err;
  int disabled = 0;
  int status = ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), line, out, err,
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
  } else if (want == "help") {
    // The usage, then the environment and the configuration file under the root.
    EXPECT_EQ(out.str().rfind(std::string(usage_text) + "\n", 0), 0u) << out.str();
    EXPECT_NE(out.str().find("\n  ORVEXD_ROOT "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\n  " + Path::board("/usr/local/etc/server.conf") + "\n"),
              std::string::npos)
        << out.str();
  } else if (want == "version") {
    std::ostringstream version;
    version << "server version: " << Version::current << "\n";
    EXPECT_EQ(out.str(), version.str());
  } else {
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_EQ(err.str(), *c.err ? std::string("orvexd: ") + c.err + "\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineCase,
    testing::Values(
        Case{"NoArguments", {}, -1, 20001, false, 0, ""},
        Case{"Port", {"--port", "20005"}, -1, 20005, false, 0, ""},
        Case{"PortJoined", {"--port=20005"}, -1, 20005, false, 0, ""},
        Case{"PortLastWins", {"--port", "1", "--port", "2"}, -1, 2, false, 0, ""},
        Case{"PortLeadingZeros", {"--port", "0020005"}, -1, 20005, false, 0, ""},
        Case{"PortLast", {"--port", "65535"}, -1, 65535, false, 0, ""},
        Case{"ShortPortRejected", {"-p", "20005"}, 2, 0, false, 0, "usage"},
        Case{"PortZero", {"--port", "0"}, 2, 0, false, 0, "usage",
             "--port \"0\": out of range 1 to 65535"},
        Case{"PortTooHigh", {"--port", "65536"}, 2, 0, false, 0, "usage",
             "--port \"65536\": out of range 1 to 65535"},
        Case{"PortHuge", {"--port", "4294987297"}, 2, 0, false, 0, "usage",
             "--port \"4294987297\": out of range 1 to 65535"},
        Case{"PortSigned", {"--port", "+20001"}, 2, 0, false, 0, "usage",
             "--port \"+20001\": not a number"},
        Case{"PortTrailingText", {"--port", "20001x"}, 2, 0, false, 0, "usage",
             "--port \"20001x\": trailing characters after the number"},
        Case{"PortEmpty", {"--port", ""}, 2, 0, false, 0, "usage", "--port \"\": not a number"},
        Case{"PortMissing", {"--port"}, 2, 0, false, 0, "usage"},
        Case{"Daemon", {"-D"}, -1, 20001, true, 0, ""},
        Case{"Help", {"-h"}, 0, 0, false, 0, "help"},
        Case{"Version", {"--version"}, 2, 0, false, 0, "version"},
        Case{"VersionThenHelp", {"--version", "-h"}, 0, 0, false, 0, "help"},
        Case{"Unknown", {"--bogus"}, 2, 0, false, 0, "usage"},
        Case{"DisableClock", {"--disable-clock"}, -1, 20001, false, 1, ""},
        Case{"DisableClockActsWhileParsing", {"--disable-clock", "--bogus"}, 2, 0, false, 1,
             "usage"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Each option the usage lists is taken: given alone (with "20001" for an argument the usage
// names in capitals), it starts the daemon, prints the help or prints the version, and is never
// refused with the usage.
TEST(CommandLine, TheUsageListsWhatIsTaken) {
  std::istringstream lines(usage_text);
  std::string text;
  int options = 0;
  while (std::getline(lines, text)) {
    std::istringstream words(text);
    std::vector<std::string> listed;
    for (std::string word; words >> word;) listed.push_back(word);
    for (size_t i = 0; i < listed.size(); ++i) {
      if (listed[i].size() < 2 || listed[i][0] != '-') continue;
      std::vector<std::string> args{"orvexd", listed[i]};
      const bool argument = i + 1 < listed.size() && std::isupper(listed[i + 1][0]);
      if (argument) args.push_back("20001");
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      CommandLine line;
      std::ostringstream out, err;
      const int status = ParseCommandLine(static_cast<int>(args.size()), argv.data(), line, out,
                                          err, [] {});
      const bool taken = status == -1 || status == 0 ||
                         out.str().rfind("server version: ", 0) == 0;
      EXPECT_TRUE(taken) << listed[i] << " is listed but refused: " << out.str() << err.str();
      ++options;
    }
  }
  EXPECT_GE(options, 6);
}

}  // namespace
