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
// and daemon, a few at a time. Every daemon binds the authentication relay's fixed port, so each
// recipe also has a network of its own when the test has one; where the recipes share the
// machine's network, a recipe that talks to the relay (it names its port) is left out.
//
// The monitoring recipe's agent is also run against the daemon's agent link on the test clock,
// past the time after which the daemon drops an agent that does not answer its pings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "monitoring/snmp_agent_ctrl.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/own_network.h"
#include "tests/support/stream_capture.h"
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

// Starts `script` with bash in `dir` with `env` added, its output into `out`, in a process group
// of its own; its pid, or -1.
pid_t start_bash(const std::string& script, const std::string& dir,
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
  if (output < 0) return -1;
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
  if (pid < 0) return -1;
  ::setpgid(pid, pid);
  return pid;
}

// Runs `script` as start_bash does; its exit status, or -1 when it ran out of time. Its whole
// process group is killed at the end.
int run_bash(const std::string& script, const std::string& dir,
             const std::vector<std::string>& env, const std::string& out) {
  const pid_t pid = start_bash(script, dir, env, out);
  if (pid < 0) return -2;
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

// The programs of this build, as the recipes name them.
std::vector<std::string> tools_env() {
  const std::string tools = ORVEX_BINARY_DIR "/tools/";
  return {"ctl=" + tools + "orvex-ctl/orvex-ctl", "sim=" + tools + "simctl/orvex-simctl",
          "l2peer=" + tools + "l2peer/orvex-l2peer"};
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
  std::vector<std::string> env = tools_env();
  env.push_back("port=" + std::to_string(port));
  env.push_back("daemon_log=" + board.root() + "/orvexd.out");
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
      if (!in_own_network() && guide.recipes[next].script.find("52000") != std::string::npos) {
        std::cerr << "note: the recipe \"" << guide.recipes[next].heading
                  << "\" is left out: it needs the relay's port, and the recipes share the "
                     "machine's network\n";
        ++passed;
        ++next;
        continue;
      }
      const pid_t parent = ::getpid();
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        std::string why;
        if (in_own_network() && !enter_own_network(why)) {
          std::ofstream(report_of(next)) << "no network of its own: " << why << '\n';
          ::_exit(1);
        }
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

// The monitoring recipe's agent, started by the recipe's own lines, against the daemon's agent
// link in this process on a clock the test moves: the agent answers every ping, so the link
// outlives the 30 s that the daemon grants a silent agent.
class GuideAgent : public LoopTest {
 protected:
  void TearDown() override {
    ctrl_.reset();
    for (int i = 0; i < 3; ++i) run_loop_turn();
    if (agent_ > 0) {
      ::kill(-agent_, SIGKILL);
      ::waitpid(agent_, nullptr, 0);
    }
    LoopTest::TearDown();
  }

  // Loop turns to wait for the agent, a process of its own: 10 s at most.
  static constexpr int kTurns = 500;

  pid_t agent_ = -1;
  std::unique_ptr<SnmpAgentCtrl> ctrl_;
};

// The recipe's lines from the one that writes agent.py to the one that starts the agent, which
// is left in the foreground; empty when the guide has none.
std::string agent_lines(const Guide& guide) {
  for (const Recipe& recipe : guide.recipes) {
    const size_t from = recipe.script.find("cat > agent.py");
    const size_t start = recipe.script.find("python3 -u agent.py", from);
    const size_t end = recipe.script.find(" &\n", start);
    if (from != std::string::npos && start != std::string::npos && end != std::string::npos)
      return recipe.script.substr(from, end - from) + "\n";
  }
  return std::string();
}

TEST_F(GuideAgent, AnswersPingsAndOutlivesTheTimeout) {
  const Guide guide = read_guide();
  const std::string lines = agent_lines(guide);
  ASSERT_NE(lines, "") << kGuide << " has no agent started from agent.py";
  TempRoot dir;
  const unsigned short port = free_port();
  std::ofstream(dir.path() + "/agent.port") << port << '\n';
  const std::string printed = dir.path() + "/agent.txt";
  agent_ = start_bash(guide.setup + lines, dir.path(), tools_env(), printed);
  ASSERT_GT(agent_, 0);
  ASSERT_TRUE(wait_until([&] { return !port_holder(port).empty(); }, 10000)) << read_file(printed);

  std::istringstream text("[snmpagent]\nhost = 127.0.0.1:" + std::to_string(port) +
                          "\nname = tavo\n");
  IniFile::File config;
  text >> config;
  LogCapture logs;
  ctrl_.reset(new SnmpAgentCtrl);
  ctrl_->CreateInstances(*config["snmpagent"]);
  const SnmpAgentInstance& link = *ctrl_->agents().front();
  ASSERT_TRUE(turn_until([&] { return link.state() == SnmpAgentInstance::kConnected; }, kTurns));
  // The first frame starts the pings: one 5 s after every frame sent.
  ctrl_->Send(SnmpAgentCtrl::gatewayDip, "0");
  const auto frames = [&] { return split_lines(read_file(printed)); };
  ASSERT_TRUE(turn_until([&] { return frames().size() == 1; }, kTurns)) << read_file(printed);
  for (size_t ping = 1; ping <= 8; ++ping) {  // 40 s
    advance(5000);
    ASSERT_TRUE(turn_until([&] { return frames().size() == ping + 1; }, kTurns))
        << read_file(printed);
    EXPECT_EQ(frames().back(), "18");
    for (int i = 0; i < 3; ++i) run_loop_turn();  // the answer, in the socket already
    ASSERT_EQ(link.state(), SnmpAgentInstance::kConnected)
        << "dropped at ping " << ping << ":\n" << logs.log.take();
  }
  EXPECT_EQ(logs.log.take().find("ping timeout"), std::string::npos);
}

}  // namespace
