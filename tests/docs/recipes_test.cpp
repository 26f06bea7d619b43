// The recipes of the slot-kind guide (docs/slot-kinds.md), each run as written: every fenced
// block tagged `sh` is one recipe, run by bash with -e and pipefail after the guide's `sh setup`
// block, in a fresh folder, against a fresh simulated board and daemon. A block tagged `sh board`
// belongs to the recipe after it and runs, in the same way and folder, on the board before the
// daemon starts. The recipe sees $ctl, $sim and $l2peer (the programs of this build), $port (the
// daemon's control port), $daemon_log (the daemon's standard output and error) and $ORVEXD_ROOT
// (the board).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/temp_root.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

extern char** environ;

namespace {

constexpr char kGuide[] = ORVEX_SOURCE_DIR "/docs/slot-kinds.md";
// The longest a recipe may take; the whole guide runs well inside a minute.
constexpr int kRecipeSeconds = 60;

struct Recipe {
  std::string name;  // from the heading above it
  int line = 0;      // of its opening fence
  std::string script;
  std::string board;  // run before the daemon starts; may be empty
};

// GoogleTest prints a recipe by where it is.
void PrintTo(const Recipe& recipe, std::ostream* os) { *os << kGuide << ":" << recipe.line; }

// A heading as a test name: its letters and digits, each word capitalized.
std::string test_name(const std::string& heading, size_t index) {
  std::string name;
  bool upper = true;
  for (char c : heading) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
      upper = false;
    } else {
      upper = true;
    }
  }
  return std::to_string(index + 1) + "_" + name;
}

// The guide's recipes; `setup` gets the text of its `sh setup` block.
std::vector<Recipe> read_guide(std::string* setup = nullptr) {
  std::ifstream in(kGuide);
  std::vector<Recipe> recipes;
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
        recipes.push_back({test_name(heading, recipes.size()), opened, block, board});
        board.clear();
      } else if (kind == "sh board") {
        board = block;
      } else if (kind == "sh setup" && setup) {
        *setup = block;
      }
    } else if (inside) {
      block += line + '\n';
    } else if (line.rfind("#", 0) == 0) {
      heading = line.substr(line.find_first_not_of('#'));
    }
  }
  return recipes;
}

// Runs `script` with bash in `dir` with `env` added, its output into `out`; its exit status, or
// -1 when it ran out of time (the whole process group is killed then, and always at the end).
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
  const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRecipeSeconds);
  bool ended = false;
  while (!(ended = ::waitpid(pid, &status, WNOHANG) == pid) &&
         std::chrono::steady_clock::now() < deadline)
    ::usleep(10000);
  ::kill(-pid, SIGKILL);
  if (!ended) {
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class GuideRecipe : public testing::TestWithParam<Recipe> {};

TEST_P(GuideRecipe, RunsAsWritten) {
  std::string setup;
  read_guide(&setup);
  ASSERT_FALSE(setup.empty()) << kGuide << " has no `sh setup` block";
  const Recipe& recipe = GetParam();

  BoardSim board;
  ASSERT_TRUE(board.ok());
  const unsigned short port = free_port();
  const std::string dir = board.root() + "/recipe";
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  const std::string out = board.root() + "/recipe.out";
  const std::string tools = ORVEX_BINARY_DIR "/tools/";
  const std::vector<std::string> env{"ctl=" + tools + "orvex-ctl/orvex-ctl",
                                     "sim=" + tools + "simctl/orvex-simctl",
                                     "l2peer=" + tools + "l2peer/orvex-l2peer",
                                     "port=" + std::to_string(port),
                                     "daemon_log=" + board.root() + "/orvexd.out"};
  if (!recipe.board.empty()) {
    const int status = run_bash(setup + recipe.board, dir, env, out);
    ASSERT_EQ(status, 0) << "the board block before " << kGuide << ":" << recipe.line
                         << " failed; it printed:\n" << read_file(out);
  }

  OrvexdProcess daemon;
  ASSERT_TRUE(daemon.start({"--port", std::to_string(port)}));
  // Served once: the daemon listens and its start-up is over.
  Ctl::Controller ctl;
  Ctl::Received r;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(OrvexdProcess::wait_ms);
  while (!ctl.connect("127.0.0.1", port, 1000) || !ctl.command("ping : NULL", r, 3000)) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << ctl.error();
    ctl.close();
    ::usleep(20000);
  }
  ctl.close();

  const int status = run_bash(setup + recipe.script, dir, env, out);
  EXPECT_EQ(status, 0) << "the recipe at " << kGuide << ":" << recipe.line
                       << (status == -1 ? " ran out of time" : " failed") << "; it printed:\n"
                       << read_file(out) << "\nthe daemon printed:\n" << daemon.output();
}

INSTANTIATE_TEST_SUITE_P(Guide, GuideRecipe, testing::ValuesIn(read_guide()),
                         [](const testing::TestParamInfo<Recipe>& info) {
                           return info.param.name;
                         });

// A guide without recipes would pass without testing anything.
TEST(Guide, HasRecipes) { EXPECT_GE(read_guide().size(), 15u); }

}  // namespace
