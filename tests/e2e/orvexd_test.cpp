// The daemon as a process on the simulated board: start-up,
// the controller's road to it, the board services, the signals and daemon mode with syslog.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/fd.h"
#include "base/path.h"
#include "base/version.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/loopback.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

namespace {

constexpr int wait_ms = OrvexdProcess::wait_ms;

std::string version_text() {
  std::ostringstream text;
  text << Version::current;
  return text.str();
}

std::string start_line(unsigned short port) {
  return "Starting server [" + version_text() + "], port=" + std::to_string(port) + "\n";
}

// Connects, retrying while the daemon's acceptor is not listening yet.
bool connect(Ctl::Controller& ctl, unsigned short port) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (!ctl.connect("127.0.0.1", port, wait_ms)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    usleep(20000);
  }
  return true;
}

// The response to `command`, in value notation; empty when none came.
std::string answer(Ctl::Controller& ctl, const std::string& command) {
  Ctl::Received r;
  if (!ctl.command(command, r, wait_ms)) return "";
  return r.text();
}

bool is_success(const std::string& response) {
  return response.find("response : success") != std::string::npos;
}

class Orvexd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.ok());
    port_ = free_port();
    ASSERT_NE(port_, 0);
  }
  // Starts the daemon and waits for its start line.
  void start(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--port", std::to_string(port_)});
    ASSERT_TRUE(daemon_.start(args));
    ASSERT_TRUE(daemon_.wait_output(start_line(port_))) << daemon_.output();
  }
  void connect_and_ping() {
    ASSERT_TRUE(connect(ctl_, port_)) << ctl_.error();
    ASSERT_TRUE(is_success(answer(ctl_, "ping : NULL"))) << ctl_.error();
  }
  // SIGTERM: exit status 0 and the PID file gone.
  void stop() {
    ASSERT_TRUE(daemon_.signal(SIGTERM));
    int status = -1;
    ASSERT_TRUE(daemon_.wait_exit(status)) << daemon_.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(OrvexdProcess::pid_file()));
  }

  BoardSim board_;
  unsigned short port_ = 0;
  OrvexdProcess daemon_;
  Ctl::Controller ctl_;
};

TEST_F(Orvexd, ServesAControllerAndStopsOnSigterm) {
  start();
  EXPECT_EQ(read_file(OrvexdProcess::pid_file()), std::to_string(daemon_.pid()));
  connect_and_ping();
  // The resource report comes as the query signal, then the success.
  EXPECT_TRUE(is_success(answer(ctl_, "query : NULL")));
  Ctl::Received report;
  EXPECT_TRUE(ctl_.wait_for("query", report, wait_ms));
  // A command of a board service comes back through the control server.
  EXPECT_TRUE(is_success(answer(ctl_, "trunkCfg : { trunk 0, mode master }")));
  // And one no service takes.
  EXPECT_NE(answer(ctl_, "disconnect : NULL").find("error : unexpectedMsgType"),
            std::string::npos);
  stop();
  EXPECT_TRUE(ctl_.wait_closed(wait_ms));
}

// The board services on the simulated board: line status reported, the clock selected, CAS
// opened, a bus test run, each seen by the controller and on the simulated devices.
TEST_F(Orvexd, BoardServicesDriveTheSimulatedBoard) {
  ASSERT_EQ(board_.command("maintenance status 2 1 5 0 0 0 0"), std::vector<std::string>{"ok"});
  start();
  connect_and_ping();
  Ctl::Received r;
  bool e1_trunk2 = false, bri = false;
  while (!(e1_trunk2 && bri) && ctl_.wait_for("trunkStatus", r, wait_ms)) {
    std::string text = r.text();
    e1_trunk2 |= text.find("trunk 2,\n") != std::string::npos &&
                 text.find("state lossBF") != std::string::npos &&
                 text.find("slips 5") != std::string::npos;
    bri |= text.find("type bri") != std::string::npos;
  }
  EXPECT_TRUE(e1_trunk2 && bri) << r.text();

  EXPECT_TRUE(is_success(answer(ctl_, "clockCfg : { clkSel0 external, bextEn enabled, source 2 }")));
  EXPECT_EQ(board_.command("clock"), std::vector<std::string>{"2 f2"});

  EXPECT_TRUE(is_success(answer(
      ctl_, "ioctl : cas : { channel { path 1, timeslot 5 }, cmd open : 9 }")));
  EXPECT_EQ(board_.command("cas channel 1 5"), std::vector<std::string>{"open rx=0x00 tx=0x09"});
  ASSERT_TRUE(ctl_.wait_for("cas", r, wait_ms));

  EXPECT_TRUE(is_success(answer(
      ctl_, "testBpc : { bus 3, seed 11, mode write : NULL, timeslot-start 0, "
            "timeslot-length 4 }")));
  EXPECT_NE(board_.command("switch 8576")[0].find("const 0x"), std::string::npos);
  stop();
}

TEST_F(Orvexd, DisableClockRefusesClockCommands) {
  start({"--disable-clock"});
  connect_and_ping();
  EXPECT_NE(answer(ctl_, "clockCfg : { clkSel0 internal, bextEn disabled, source 0 }")
                .find("error : unsupported"),
            std::string::npos);
}

TEST_F(Orvexd, SighupReportsWithAControllerConnected) {
  start();
  connect_and_ping();
  ASSERT_TRUE(daemon_.signal(SIGHUP));
  // The report reaches the controller unasked, as the query signal without seq.
  Ctl::Received report;
  ASSERT_TRUE(ctl_.wait_for("query", report, wait_ms)) << ctl_.error();
  EXPECT_FALSE(report.message->has_seq()) << report.text();
  EXPECT_TRUE(daemon_.wait_output("update hardware resources\n"));
  EXPECT_TRUE(is_success(answer(ctl_, "ping : NULL")));
}

// The root is given relative to the working directory, its parent, which daemon mode leaves
// for "/".
TEST_F(Orvexd, DaemonModeDetachesAndLogsToSyslog) {
  ::unlink(Path::board("/dev/log").c_str());
  Fd syslog = unix_socket(SOCK_DGRAM, Path::board("/dev/log"));
  ASSERT_TRUE(syslog);
  const std::filesystem::path root = Path::root(), here = std::filesystem::current_path();
  std::filesystem::current_path(root.parent_path());
  const bool started = daemon_.start({"-D", "--port", std::to_string(port_)},
                                     {"ORVEXD_ROOT=" + root.filename().string()});
  std::filesystem::current_path(here);
  ASSERT_TRUE(started);
  // The process started returns once the daemon has detached.
  int status = -1;
  ASSERT_TRUE(daemon_.wait_exit(status)) << daemon_.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // The start line is a notice of the daemon facility under the identity "orx-" and the version.
  std::string records;
  while (records.find("Starting server [") == std::string::npos) {
    const std::string record = receive_datagram(syslog, wait_ms);
    ASSERT_FALSE(record.empty()) << records;
    records += record + "\n";
  }
  EXPECT_NE(records.find("<29>"), std::string::npos) << records;
  EXPECT_NE(records.find("orx-" + version_text()), std::string::npos) << records;
  ASSERT_TRUE(wait_file(OrvexdProcess::pid_file(), true, wait_ms));
  const pid_t detached = std::atoi(read_file(OrvexdProcess::pid_file()).c_str());
  EXPECT_GT(detached, 1);
  EXPECT_NE(detached, daemon_.pid());
  connect_and_ping();
  ASSERT_EQ(::kill(detached, SIGTERM), 0);
  EXPECT_TRUE(wait_file(OrvexdProcess::pid_file(), false, wait_ms));
  EXPECT_TRUE(ctl_.wait_closed(wait_ms));
}

// Daemon mode with the board's syslog receiver, with one that reads only once the daemon serves
// (its start-up lines are more than the socket's queue holds) and with none: the status dump
// counts exactly what was lost.
TEST_F(Orvexd, DaemonModeLosesNoSyslogRecordBelowTheBoundAndCountsWhatIsLost) {
  enum Receiver { kBoards, kSlow, kNone };
  const struct {
    const char* name;
    Receiver receiver;
  } cases[] = {{"the board's", kBoards}, {"slow", kSlow}, {"none", kNone}};
  const std::string log = Path::board("/dev/log"), status = Path::board("/var/log/server-status");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fd own;
    if (c.receiver != kBoards) ::unlink(log.c_str());
    if (c.receiver == kSlow) {
      own = unix_socket(SOCK_DGRAM, log);
      ASSERT_TRUE(own);
    }
    OrvexdProcess daemon;
    ASSERT_TRUE(daemon.start({"-D", "--port", std::to_string(port_)}));
    int exit_status = -1;
    ASSERT_TRUE(daemon.wait_exit(exit_status)) << daemon.output();
    ASSERT_TRUE(wait_file(OrvexdProcess::pid_file(), true, wait_ms));
    const pid_t detached = std::atoi(read_file(OrvexdProcess::pid_file()).c_str());
    ASSERT_GT(detached, 1);
    Ctl::Controller ctl;
    ASSERT_TRUE(connect(ctl, port_)) << ctl.error();
    ASSERT_TRUE(is_success(answer(ctl, "ping : NULL"))) << ctl.error();
    // The slow receiver reads one record at a time, each as it comes.
    std::vector<std::string> records;
    for (std::string r; c.receiver == kSlow && !(r = receive_datagram(own, 500)).empty();)
      records.push_back(r);
    ::unlink(status.c_str());
    ASSERT_EQ(::kill(detached, SIGUSR2), 0);
    std::string dump;
    EXPECT_TRUE(wait_until(
        [&] { return (dump = read_file(status)).find("\nsyslog drops : ") != std::string::npos; },
        wait_ms));
    const size_t at = dump.find("syslog drops : ") + 15;
    const unsigned long drops = std::strtoul(dump.c_str() + at, nullptr, 10);
    if (c.receiver == kNone) {
      EXPECT_GT(drops, 10u) << dump;
    } else {
      EXPECT_EQ(drops, 0u) << dump;
    }
    if (c.receiver == kSlow) {
      EXPECT_GT(records.size(), 10u);
      ASSERT_FALSE(records.empty());
      EXPECT_NE(records[0].find("Starting server ["), std::string::npos) << records[0];
    }
    if (c.receiver == kBoards) {
      const std::string kept = read_file(Path::board("/var/log/messages"));
      EXPECT_NE(kept.find("<29>"), std::string::npos) << kept;
      EXPECT_NE(kept.find(": " + start_line(port_)), std::string::npos) << kept;
    }
    ASSERT_EQ(::kill(detached, SIGTERM), 0);
    EXPECT_TRUE(wait_file(OrvexdProcess::pid_file(), false, wait_ms));
    EXPECT_TRUE(ctl.wait_closed(wait_ms));
  }
}

// A configuration path that is no regular file is reported; the daemon starts on the defaults.
TEST_F(Orvexd, UnreadableConfigurationLeavesTheDefaults) {
  const std::string config = Path::board("/usr/local/etc/server.conf");
  std::filesystem::create_directories(config);
  start();
  EXPECT_TRUE(daemon_.wait_output("not read: Is a directory; defaults apply\n"));
  stop();
  std::filesystem::remove(config);
  ASSERT_EQ(::mkfifo(config.c_str(), 0644), 0);
  start();
  EXPECT_TRUE(daemon_.wait_output("not read: Invalid argument; defaults apply\n"));
}

// A second daemon on a served root stops before any board request; the first serves on.
TEST_F(Orvexd, ASecondDaemonOnAServedRootDoesNotStart) {
  start();
  connect_and_ping();
  ASSERT_TRUE(is_success(answer(ctl_, "testBpc : { bus 3, seed 11, mode write : NULL, "
                                      "timeslot-start 0, timeslot-length 1 }")));
  const std::vector<std::string> output = board_.command("switch 8576");
  OrvexdProcess second;
  int status = -1;
  ASSERT_TRUE(second.run({"--port", std::to_string(free_port())}, status)) << second.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(second.output(), "another orvexd serves this root (" +
                                 Path::board("/var/run/server.lock") + " is locked); not started\n");
  EXPECT_EQ(board_.command("switch 8576"), output);
  EXPECT_EQ(read_file(OrvexdProcess::pid_file()), std::to_string(daemon_.pid()));
  stop();
}

// A root that is no directory stops the start with one line that names it, before any device
// is looked for.
TEST_F(Orvexd, RootThatIsNoDirectoryStopsTheStart) {
  const std::string file = Path::board("/var/plain-file");
  std::ofstream(file) << "x";
  for (const auto& [root, why] : {std::pair<std::string, std::string>{"/no/such/dir",
                                                                      "No such file or directory"},
                                  {file, "Not a directory"}}) {
    SCOPED_TRACE(root);
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}, {"ORVEXD_ROOT=" + root}));
    int status = -1;
    ASSERT_TRUE(daemon_.wait_exit(status)) << daemon_.output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(daemon_.output(), "ORVEXD_ROOT " + root + ": " + why + "; not started\n");
  }
}

}  // namespace
