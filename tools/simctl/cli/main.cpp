// orvex-simctl: one command to the simulated board's control socket from a shell.
//
//   orvex-simctl [-r ROOT] [-w LINE | -s TEXT] [-t MS] COMMAND [WORD...]
//
// Sends the words as one line to ROOT/sim.ctl (ROOT: -r, else $ORVEXD_ROOT) and prints the
// reply, one line each (a list without its closing "."). With -w (-s) it asks again every 20 ms
// until a line of the reply is LINE (holds TEXT), for at most MS milliseconds (default 10000),
// and prints the last reply. Exit status: 0 done; 1 the reply is an error ("error: ..."); 2
// wrong arguments; 3 the awaited line did not come in time; 4 no simulator, or it did not answer.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/simctl/sim_control.h"

namespace {

const char usage_text[] =
    "usage: orvex-simctl [-r ROOT] [-w LINE | -s TEXT] [-t MS] COMMAND [WORD...]\n"
    "  sends COMMAND WORD... to ROOT/sim.ctl (ROOT: -r, else $ORVEXD_ROOT), prints the reply\n"
    "  -w LINE  ask again every 20 ms until a reply line is LINE\n"
    "  -s TEXT  ask again every 20 ms until a reply line holds TEXT\n"
    "  -t MS    how long -w and -s wait (default 10000)\n"
    "exit status: 0 done, 1 error reply, 2 wrong arguments, 3 not awaited in time, 4 no simulator\n";

int usage(bool asked) {
  (asked ? std::cout : std::cerr) << usage_text;
  return asked ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = std::getenv("ORVEXD_ROOT") ? std::getenv("ORVEXD_ROOT") : "";
  std::string awaited;
  bool whole_line = false;
  long timeout_ms = 10000;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    const std::string option = argv[arg];
    if (option == "-h" || option == "--help") return usage(true);
    if (arg + 1 >= argc) return usage(false);
    const char* value = argv[++arg];
    if (option == "-r") {
      root = value;
    } else if (option == "-w" || option == "-s") {
      awaited = value;
      whole_line = option == "-w";
    } else if (option == "-t") {
      char* end = nullptr;
      timeout_ms = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || timeout_ms < 0) return usage(false);
    } else {
      return usage(false);
    }
  }
  if (arg >= argc || root.empty()) return usage(false);
  std::string line = argv[arg];
  while (++arg < argc) line += std::string(" ") + argv[arg];

  SimControl control;
  if (!control.connect(root + "/sim.ctl")) {
    std::cerr << "orvex-simctl: " << control.error() << '\n';
    return 4;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto matches = [&](const std::string& got) {
    return whole_line ? got == awaited : got.find(awaited) != std::string::npos;
  };
  for (;;) {
    const std::vector<std::string> reply = control.command(line, 10000);
    bool found = awaited.empty();
    for (const std::string& got : reply) found = found || matches(got);
    const bool last = found || !control.connected() ||
                      std::chrono::steady_clock::now() >= deadline;
    if (last) {
      for (const std::string& got : reply) std::cout << got << '\n';
      std::cout.flush();
    }
    if (!control.connected()) {
      std::cerr << "orvex-simctl: " << control.error() << '\n';
      return 4;
    }
    if (found) return reply.size() == 1 && reply[0].rfind("error: ", 0) == 0 ? 1 : 0;
    if (last) {
      std::cerr << "orvex-simctl: no reply line " << (whole_line ? "is \"" : "holds \"")
                << awaited << "\" after " << timeout_ms << " ms\n";
      return 3;
    }
    usleep(20000);
  }
}
