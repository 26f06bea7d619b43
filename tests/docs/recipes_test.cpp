// The recipes of the slot-kind guide (docs/slot-kinds.md), each run as written: every fenced
// block tagged `sh` is one recipe, run by bash with -e and pipefail after the guide's `sh setup`
// block, in a fresh folder, against a fresh simulated board and daemon. A block tagged `sh board`
// belongs to the recipe after it and runs, in the same way and folder, on the board before the
// daemon starts. The recipe sees $ctl, $sim and $l2peer (the programs of this build), $port (the
// daemon's control port), $daemon_log (the daemon's standard output and error) and $ORVEXD_ROOT
// (the board).
//
// The daemon sleeps a second after each controller leaves, so most of a recipe's time is spent
// waiting: the recipes run side by side, each in a child process of its own with its own board
// and daemon, a few at a time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/own_network.h"
#include "tests/support/temp_root.h"
#include "tools/simctl/board_sim.h"

extern char** environ;

namespace {

constexpr char kGuide[] = ORVEX_SOURCE_DIR "/docs/slot-kinds.md";
// The longest a recipe may take, and how many run at once.
constexpr int kRecipeSeconds = 60;
constexpr size_t kAtOnce = 4;

struct Recipe {
  std::string heading;  // the heading above it
  int line = 0;         // of its opening fence
  std::string script;
  std::string board;    // run before the daemon starts; may be empty
};

struct Guide {
  std::string setup;
  std::vector<Recipe> recipes;
};

Guide read_guide() {
  std::ifstream in(kGuide);
  Guide guide;
  std::string line, heading, block, kind, board;
  bool inside = false;
  int number = 0, opened = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!inside && line.rfind("```", 0) == 0) {
      inside = true;
      kind = line.substr(3);
      block.clear();
      opened = number;
    } else if (inside && line.rfind("```", 0) == 0) {
      inside = false;
      if (kind == "sh") {
        guide.recipes.push_back({heading, opened, block, board});
        board.clear();
      } else if (kind == "sh board") {
        board = block;
      } else if (kind == "sh setup") {
        guide.setup = block;
      }
    } else if (inside) {
      block += line + '\n';
    } else if (line.rfind("#", 0) == 0) {
      heading = line.substr(line.find_first_not_of("# "));
    }
  }
  return guide;
}

// Runs `script` with bash in `dir` with `env` added, its output into `out`; its exit status, or
// -1 when it ran out of time. Its whole process group is killed at the end.
int run_bash(const std::string& script, const std::string& dir,
             const std::vector<std::string>& env, const std::string& out) {
  std::vector<std::string> words{"bash", "-e", "-o", "pipefail", "-c", script};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  std::vector<std::string> env_words(env);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  for (std::string& e : env_words) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (output < 0) return -2;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    const int nothing = ::open("/dev/null", O_RDONLY);
    ::dup2(nothing, STDIN_FILENO);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    ::execvpe("bash", argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(output);
  if (pid < 0) return -2;
  ::setpgid(pid, pid);
  int status = 0;
  const bool ended =
      wait_until([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, kRecipeSeconds * 1000);
  ::kill(-pid, SIGKILL);
  if (!ended) {
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs one recipe on a board and daemon of its own; 0 when it passed, else 1 with what went
// wrong in the file `report`.
int run_recipe(const std::string& setup, const Recipe& recipe, const std::string& report) {
  std::ofstream why(report);
  BoardSim board;
  if (!board.ok()) {
    why << "the simulated board did not start\n";
    return 1;
  }
  const std::string dir = board.root() + "/recipe";
  const std::string out = board.root() + "/recipe.out";
  const unsigned short port = free_port();
  const std::string tools = ORVEX_BINARY_DIR "/tools/";
  const std::vector<std::string> env{"ctl=" + tools + "orvex-ctl/orvex-ctl",
                                     "sim=" + tools + "simctl/orvex-simctl",
                                     "l2peer=" + tools + "l2peer/orvex-l2peer",
                                     "port=" + std::to_string(port),
                                     "daemon_log=" + board.root() + "/orvexd.out"};
  if (::mkdir(dir.c_str(), 0755) != 0) {
    why << "cannot make " << dir << '\n';
    return 1;
  }
  if (!recipe.board.empty() && run_bash(setup + recipe.board, dir, env, out) != 0) {
    why << "its board block failed; it printed:\n" << read_file(out);
    return 1;
  }
  OrvexdProcess daemon;
  // Listening is enough: a controller that only looked would cost the recipe the second the
  // daemon waits after each controller.
  if (!daemon.start({"--port", std::to_string(port)}) ||
      !wait_until([&] { return !port_holder(port).empty(); }, OrvexdProcess::wait_ms)) {
    why << "the daemon did not listen on port " << port << "; it printed:\n" << daemon.output();
    return 1;
  }
  const int status = run_bash(setup + recipe.script, dir, env, out);
  // The daemon ends cleanly afterwards: the sanitizers find no fault and no leak.
  int end = -1;
  const bool ended = daemon.signal(SIGTERM) && daemon.wait_exit(end);
  if (status == 0 && ended && WIFEXITED(end) && WEXITSTATUS(end) == 0) return 0;
  if (status != 0) {
    why << (status == -1 ? "it ran out of time" : "it failed, status " + std::to_string(status));
  } else {
    why << "the daemon did not end with status 0 on SIGTERM (wait status " << end << ")";
  }
  why << "; it printed:\n" << read_file(out) << "\nthe daemon printed:\n" << daemon.output();
  return 1;
}

TEST(Guide, EveryRecipeRunsAsWritten) {
  const Guide guide = read_guide();
  ASSERT_FALSE(guide.setup.empty()) << kGuide << " has no `sh setup` block";
  ASSERT_GE(guide.recipes.size(), 15u) << kGuide << " has lost recipes";
  TempRoot reports;
  std::map<pid_t, size_t> running;
  size_t next = 0, passed = 0;
  const auto report_of = [&](size_t i) { return reports.path() + "/" + std::to_string(i); };
  while (next < guide.recipes.size() || !running.empty()) {
    while (next < guide.recipes.size() && running.size() < kAtOnce) {
      const pid_t parent = ::getpid();
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        ::_exit(run_recipe(guide.setup, guide.recipes[next], report_of(next)));
      }
      running[pid] = next++;
    }
    int status = 0;
    const pid_t done = ::waitpid(-1, &status, 0);
    ASSERT_GT(done, 0);
    const auto it = running.find(done);
    if (it == running.end()) continue;
    const Recipe& recipe = guide.recipes[it->second];
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      ++passed;
    } else {
      ADD_FAILURE() << "the recipe \"" << recipe.heading << "\" at " << kGuide << ":"
                    << recipe.line << ": " << read_file(report_of(it->second));
    }
    running.erase(it);
  }
  EXPECT_EQ(passed, guide.recipes.size());
}

}  // namespace
