// orvex-simctl, the shell's client of the simulator's control socket: what it prints and the
// exit status that a script's `set -e` relies on.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tools/simctl/board_sim.h"

namespace {

struct Outcome {
  std::string output;  // standard output and error
  int status = -1;     // exit status
};

Outcome simctl(const std::string& args) {
  Outcome run;
  const std::string command = ORVEX_BINARY_DIR "/tools/simctl/orvex-simctl " + args + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, p)) run.output += buffer;
  const int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(SimctlCli, RepliesAndExitStatuses) {
  BoardSim sim;
  ASSERT_TRUE(sim.ok());
  ASSERT_EQ(sim.command("mcc capacity 1 2 3").at(0), "ok");
  struct Case {
    const char* args;
    const char* output;  // its start
    int status;
  } const cases[] = {
      {"ping hello", "ok hello\n", 0},
      {"mcc capacity", "1 2 3\n", 0},
      {"switch 5", "error: switch output 5 never set\n", 1},
      {"-w '1 2 3' mcc capacity", "1 2 3\n", 0},
      {"-s '2 3' mcc capacity", "1 2 3\n", 0},
      {"-w '1 2' -t 100 mcc capacity", "1 2 3\norvex-simctl: no reply line is \"1 2\"", 3},
      {"-w 1 -t 100 switch 5", "error: switch output 5 never set\norvex-simctl: no reply", 3},
      {"-r /nonexistent ping", "orvex-simctl: /nonexistent/sim.ctl: ", 4},
      {"", "usage: orvex-simctl", 2},
      {"-t x ping", "usage: orvex-simctl", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome run = simctl(c.args);
    EXPECT_EQ(run.output.substr(0, std::string(c.output).size()), c.output) << run.output;
    EXPECT_EQ(run.status, c.status);
  }
  // A list comes whole, without its closing line.
  const Outcome devices = simctl("devices");
  EXPECT_EQ(devices.status, 0);
  EXPECT_NE(devices.output.find("\nhal\n"), std::string::npos) << devices.output;
  EXPECT_EQ(devices.output.find("\n.\n"), std::string::npos) << devices.output;
}

}  // namespace
