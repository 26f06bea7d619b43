// orvex-ctl send as a person runs it: the program, its standard input a pipe of the test, against
// orvexd on the simulated board, which reports trunkStatus once a second meanwhile. Each case
// runs one session against a daemon of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/fd.h"
#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

int ms_since(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// orvex-ctl as a child process: its input written by the test, its output and errors read back.
class CtlProgram {
 public:
  ~CtlProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool start(const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0)
      return false;
    std::vector<std::string> words{ORVEX_CTL, "send"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    input_ = Fd(in[1]);
    out_ = Fd(out[0]);
    err_ = Fd(err[0]);
    for (int fd : {in[0], out[1], err[1]}) ::close(fd);
    return pid_ > 0;
  }
  void write(const std::string& text) {
    ASSERT_EQ(::write(input_.get(), text.data(), text.size()), ssize_t(text.size()));
  }
  void end_input() { input_.close(); }
  void signal(int number) { ::kill(pid_, number); }
  // Waits until the output holds `text` at or after `from`.
  bool wait_output(const std::string& text, size_t from = 0, int timeout_ms = 5000) {
    const Clock::time_point start = Clock::now();
    while (output.find(text, from) == std::string::npos) {
      if (ms_since(start) >= timeout_ms) return false;
      collect(50);
    }
    return true;
  }
  // The exit status, 128 + N for an end by signal N (as the shell gives it); -1 when the program
  // had not ended within the time (it is then killed).
  int wait_exit(int timeout_ms) {
    const Clock::time_point start = Clock::now();
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (ms_since(start) >= timeout_ms) return -1;
      collect(20);
    }
    pid_ = -1;
    while (collect(0)) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status)
                             : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  }

  std::string output, errors;

 private:
  // Reads what the program has written within `timeout_ms`; false when nothing came.
  bool collect(int timeout_ms) {
    pollfd fds[2] = {{out_.get(), POLLIN, 0}, {err_.get(), POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) <= 0) return false;
    bool got = false;
    std::string* into[2] = {&output, &errors};
    for (int i = 0; i < 2; ++i) {
      char buf[4096];
      if (fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) into[i]->append(buf, static_cast<size_t>(n));
      got = got || n > 0;
    }
    return got;
  }

  pid_t pid_ = -1;
  Fd input_, out_, err_;
};

// True when a socket listens on TCP `port` (the daemon's acceptor is up).
bool listening(unsigned short port) {
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  char tail[16];
  std::snprintf(tail, sizeof tail, ":%04X", port);
  while (std::getline(tcp, line)) {
    std::istringstream words(line);
    std::string slot, local, remote, state;
    words >> slot >> local >> remote >> state;
    if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, tail) == 0)
      return true;
  }
  return false;
}

class CtlSend : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.ok());
    port_ = free_port();
    ASSERT_NE(port_, 0);
  }
  void start_daemon() {
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
    const Clock::time_point start = Clock::now();
    while (!listening(port_)) {
      ASSERT_LT(ms_since(start), OrvexdProcess::wait_ms) << daemon_.output();
      usleep(20000);
    }
  }
  // Starts orvex-ctl send 127.0.0.1 PORT `args`.
  void start_ctl(const std::vector<std::string>& args = {}) {
    std::vector<std::string> all{"127.0.0.1", std::to_string(port_)};
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_TRUE(ctl_.start(all));
  }

  BoardSim board_;
  unsigned short port_ = 0;
  OrvexdProcess daemon_;
  CtlProgram ctl_;
};

struct ExitCase {
  const char* name;
  std::string input;
  bool daemon;                    // false: nothing listens on the port
  std::vector<std::string> args;  // after HOST PORT
  int status;
  std::vector<std::string> output;  // each found in the output, in this order
  std::string error;                // found in the errors
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class CtlExit : public CtlSend, public testing::WithParamInterface<ExitCase> {};

TEST_P(CtlExit, StatusTellsHowTheSessionWent) {
  const ExitCase& c = GetParam();
  if (c.daemon) start_daemon();
  start_ctl(c.args);
  ctl_.write(c.input);
  ctl_.end_input();
  EXPECT_EQ(ctl_.wait_exit(8000), c.status) << ctl_.output << ctl_.errors;
  size_t from = 0;
  for (const std::string& line : c.output) {
    const size_t at = ctl_.output.find(line, from);
    ASSERT_NE(at, std::string::npos) << line << "\nin\n" << ctl_.output;
    from = at + line.size();
  }
  EXPECT_NE(ctl_.errors.find(c.error), std::string::npos) << ctl_.errors;
}

// `line` between two pings, refused as it is read with `error`: it is not sent, so the second
// ping takes seq 2.
ExitCase NotSentBetweenPings(const char* name, const std::string& line, const std::string& error) {
  return ExitCase{name, "ping : NULL\n" + line + "\nping : NULL\n", true, {}, 5,
                  {"<- { seq 1, pdu", "-> { seq 2, pdu command : ping : NULL }\n",
                   "<- { seq 2, pdu response : success : NULL }\n"},
                  error};
}

const std::string create1 = "{ slot 1, pdu command : create : trunk : { trunk 0, timeslot 1 } }\n";
const std::string create2 = "{ slot 2, pdu command : create : trunk : { trunk 1, timeslot 1 } }\n";

INSTANTIATE_TEST_SUITE_P(
    Sessions, CtlExit,
    testing::Values(
        ExitCase{"TwoBareCommands", "ping : NULL\nping : NULL\n", true, {}, 0,
                 {"-> { seq 1, pdu command : ping : NULL }\n",
                  "<- { seq 1, pdu response : success : NULL }\n",
                  "-> { seq 2, pdu command : ping : NULL }\n",
                  "<- { seq 2, pdu response : success : NULL }\n"}, ""},
        ExitCase{"SignalCame", "query : NULL\n", true, {"query", "3000"}, 0,
                 {"<- { seq 1, pdu response : success : NULL }\n", "<- { pdu signal : query : {"},
                 ""},
        ExitCase{"ErrorAnswerAndTheNextStillRuns",
                 "{ slot 5, pdu command : connect : 1 }\nping : NULL\n",
                 true, {}, 1,
                 {"<- { seq 1, slot 5, pdu response : error : slotNotExists }\n",
                  "<- { seq 2, pdu response : success : NULL }\n"}, ""},
        ExitCase{"WaitBesideTrunkStatusEndsAtItsTimeout", "ping : NULL\n", true,
                 {"activated", "1500"}, 3,
                 {"<- { seq 1, pdu response : success : NULL }\n", "<- { pdu signal : trunkStatus"},
                 "orvex-ctl: no signal activated within 1500 ms\n"},
        // The session goes on after the line it cannot read: slot 1, made before it, is
        // connected after it.
        ExitCase{"UnreadableLineInTheMiddle",
                 create1 + "create : trunk : { trunk 1 }\n" + create2 +
                     "{ slot 1, pdu command : connect : 2 }\n",
                 true, {}, 5,
                 {"<- { seq 1, slot 1, pdu response : success : NULL }\n",
                  "-> { seq 2, slot 2, pdu command : create",
                  "<- { seq 3, slot 1, pdu response : success : NULL }\n"},
                 "orvex-ctl: line 2, column 28: missing member timeslot (INTEGER) of TrunkParams"
                 " (not sent)\n"},
        // Not sent, so slot 3 does not exist; the error answer yields to the unreadable line.
        ExitCase{"MissingMemberIsNotSent",
                 "{ slot 3, pdu command : create : trunk : { trunk 1 } }\n"
                 "{ slot 3, pdu command : destroy : NULL }\n",
                 true, {}, 5,
                 {"-> { seq 1, slot 3, pdu command : destroy : NULL }\n",
                  "<- { seq 1, slot 3, pdu response : error : slotNotExists }\n"},
                 "orvex-ctl: line 1, column 52: missing member timeslot (INTEGER) of TrunkParams"},
        // A value outside its range is refused as it is read, not sent (the next command takes
        // its seq), and the session goes on.
        NotSentBetweenPings("TimeslotOutOfRange", "create : trunk : { trunk 0, timeslot 32 }",
                            "orvex-ctl: line 2, column 38: member timeslot: 32 out of range "
                            "0..31 (not sent)\n"),
        NotSentBetweenPings("SlotOutOfRange", "{ slot 1024, pdu command : ping : NULL }",
                            "orvex-ctl: line 2, column 8: member slot: 1024 out of range 0..1023 "
                            "(not sent)\n"),
        NotSentBetweenPings("ConnectOutOfRange", "connect : 1024",
                            "orvex-ctl: line 2, column 11: alternative connect: 1024 out of range "
                            "0..1023 (not sent)\n"),
        NotSentBetweenPings("PortOutOfRange",
                            "create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr "
                            "\"127.0.0.1\", port 70000 } }, txPayload ptG711-Alaw, rxPayload "
                            "ptG711-Alaw }",
                            "orvex-ctl: line 2, column 82: member port: 70000 out of range "
                            "0..65535 (not sent)\n"),
        NotSentBetweenPings("PayloadNoEnumerator",
                            "create : rtp : { codecRTP { payload 14, dhost { iaddr \"127.0.0.1\", "
                            "port 7000 } }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw }",
                            "orvex-ctl: line 2, column 37: member payload: 14 is no value of "
                            "Payload;"),
        ExitCase{"NoDaemon", "ping : NULL\n", false, {}, 4, {}, "orvex-ctl: connect: "},
        ExitCase{"TimeoutNotANumber", "", false, {"query", "soon"}, 2, {},
                 "orvex-ctl: \"soon\" is not a timeout in milliseconds\n"}),
    [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

// With its input still open, the program prints each signal as it comes and notices the
// daemon's end.
TEST_F(CtlSend, SignalsAndTheEndOfTheConnectionAreSeenWhileInputWaits) {
  start_daemon();
  start_ctl();
  ctl_.write("ping : NULL\n");
  const std::string answer = "<- { seq 1, pdu response : success : NULL }\n";
  ASSERT_TRUE(ctl_.wait_output(answer)) << ctl_.output << ctl_.errors;
  EXPECT_TRUE(ctl_.wait_output("<- { pdu signal : trunkStatus", ctl_.output.find(answer), 2500))
      << ctl_.output;
  ASSERT_TRUE(daemon_.signal(SIGTERM));
  EXPECT_EQ(ctl_.wait_exit(5000), 4) << ctl_.errors;
  EXPECT_NE(ctl_.errors.find("orvex-ctl: the daemon closed the connection"), std::string::npos)
      << ctl_.errors;
}

// The daemon closes a second controller's connection before any answer: the program says that
// another controller may be connected.
TEST_F(CtlSend, ASecondControllerIsToldThatAnotherMayBeConnected) {
  start_daemon();
  Ctl::Controller first;
  Ctl::Received answer;
  ASSERT_TRUE(first.connect("127.0.0.1", port_, 2000)) << first.error();
  ASSERT_TRUE(first.command("ping : NULL", answer, 2000)) << first.error();
  start_ctl();
  ctl_.write("ping : NULL\n");
  ctl_.end_input();
  EXPECT_EQ(ctl_.wait_exit(5000), 4) << ctl_.errors;
  EXPECT_NE(ctl_.errors.find(" before any answer: the daemon serves one controller at a time, "
                             "and another may be connected\n"),
            std::string::npos)
      << ctl_.errors;
}

// Ctrl-C ends the program by SIGINT (130 in the shell), with nothing more to say.
TEST_F(CtlSend, CtrlCEndsTheSessionBySigint) {
  start_daemon();
  start_ctl();
  ctl_.write("{ slot 1, pdu command : create : trunk : { trunk 0, timeslot 1 } }\n");
  ASSERT_TRUE(ctl_.wait_output("<- { seq 1, slot 1, pdu response : success : NULL }\n"))
      << ctl_.output << ctl_.errors;
  ctl_.signal(SIGINT);
  EXPECT_EQ(ctl_.wait_exit(5000), 128 + SIGINT) << ctl_.errors;
  EXPECT_EQ(ctl_.errors, "");
}

// `orvex-ctl -h` and the README list the same exit statuses of send, word for word.
std::map<int, std::string> help_statuses(const std::string& help) {
  std::map<int, std::string> rows;
  static const std::string kHead = "exit status of send:\n";
  const size_t head = help.find(kHead);
  if (head == std::string::npos) return rows;
  std::istringstream in(help.substr(head + kHead.size()));
  std::string line;
  int status = -1;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string word;
    if (line.compare(0, 7, std::string(7, ' ')) != 0 && !(words >> status)) break;
    while (words >> word) rows[status] += (rows[status].empty() ? "" : " ") + word;
  }
  return rows;
}

std::map<int, std::string> readme_statuses() {
  std::ifstream in(ORVEX_SOURCE_DIR "/README.md");
  std::map<int, std::string> rows;
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.find("The exit status of `send`") != std::string::npos) inside = true;
    if (!inside || line.compare(0, 2, "| ") != 0) {
      if (inside && !rows.empty()) break;
      continue;
    }
    const size_t bar = line.find(" | ");
    int status = -1;
    if (std::sscanf(line.c_str(), "| %d |", &status) != 1) continue;
    rows[status] = line.substr(bar + 3, line.size() - bar - 5);
  }
  return rows;
}

TEST(CtlHelp, ListsTheReadmesExitStatuses) {
  FILE* help = ::popen(ORVEX_CTL " -h", "r");
  ASSERT_NE(help, nullptr);
  std::string text;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, help)) > 0;) text.append(buf, n);
  ASSERT_EQ(::pclose(help), 0);
  const std::map<int, std::string> statuses = help_statuses(text);
  EXPECT_EQ(statuses.size(), 7u) << text;
  EXPECT_EQ(statuses, readme_statuses());
}

}  // namespace
