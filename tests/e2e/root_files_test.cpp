// The files around the daemon on the simulated board: a second board on a served root, the PID
// file and the status dump made symbolic links or FIFOs, folders on the way out of the root, hard
// links out of it, FIFOs among the board files it reads, temporaries of the monitoring store, and
// configuration lines read as nothing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/path.h"
#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/temp_root.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

namespace {

namespace fs = std::filesystem;
constexpr int wait_ms = OrvexdProcess::wait_ms;

class RootFiles : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.ok());
    port_ = free_port();
    ASSERT_NE(port_, 0);
  }
  // Starts the daemon and waits until it has written its PID file (or refused to) and serves.
  void start() {
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
    ASSERT_TRUE(daemon_.wait_output("], port=" + std::to_string(port_) + "\n")) << daemon_.output();
  }
  // A command of a board service, which the daemon carries out with a driver request.
  bool clock_command_served() {
    if (!ctl_.connected() &&
        !wait_until([&] { return ctl_.connect("127.0.0.1", port_, wait_ms); }, wait_ms))
      return false;
    Ctl::Received r;
    return ctl_.command("clockCfg : { clkSel0 external, bextEn enabled, source 2 }", r, wait_ms) &&
           r.text().find("response : success") != std::string::npos &&
           board_.command("clock") == std::vector<std::string>{"2 f2"};
  }

  BoardSim board_;
  unsigned short port_ = 0;
  OrvexdProcess daemon_;
  Ctl::Controller ctl_;
};

// A second board on the root refuses it at once: its sockets, and the daemon's requests on
// them, stay the first board's.
TEST_F(RootFiles, SecondBoardOnAServedRootIsRefused) {
  start();
  ASSERT_TRUE(clock_command_served()) << ctl_.error() << daemon_.output();
  const fs::file_time_type hal = fs::last_write_time(board_.root() + "/dev/hal");

  // Bounded: a board that took the root would run until `timeout` ends it.
  const std::string command = "timeout 5 " + BoardSim::default_binary() + " --root " +
                              board_.root() + " 2>&1";
  FILE* second = ::popen(command.c_str(), "r");
  ASSERT_NE(second, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, second)) output += buffer;
  const int status = ::pclose(second);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status << " " << output;
  EXPECT_EQ(output, "boardsim: " + board_.root() + " is served by another board (pid " +
                        std::to_string(board_.pid()) + "); not started, its sockets are left "
                        "as they are\n");

  EXPECT_EQ(fs::last_write_time(board_.root() + "/dev/hal"), hal);
  EXPECT_EQ(board_.command("ping"), std::vector<std::string>{"ok"});
  EXPECT_TRUE(clock_command_served()) << ctl_.error() << daemon_.output();
}

// Links at the names of the PID file and the status dump, to files outside the root: neither
// file is opened through them, each is refused with one line, and the links stay.
TEST_F(RootFiles, PidFileAndStatusDumpAreNotWrittenThroughLinks) {
  TempRoot outside;  // sets $ORVEXD_ROOT: put it back at once
  ASSERT_EQ(::setenv("ORVEXD_ROOT", board_.root().c_str(), 1), 0);
  const std::string pid_target = outside.path() + "/pid", dump_target = outside.path() + "/dump";
  std::ofstream(pid_target) << "outside pid";
  std::ofstream(dump_target) << "outside dump";
  const std::string pid_link = OrvexdProcess::pid_file();
  const std::string dump_link = Path::board("/var/log/server-status");
  fs::create_symlink(pid_target, pid_link);
  fs::create_symlink(dump_target, dump_link);

  start();
  ASSERT_TRUE(daemon_.wait_output("pid file " + pid_link +
                                  ": a symbolic link, not followed; not written\n"));
  ASSERT_TRUE(daemon_.signal(SIGUSR2));
  ASSERT_TRUE(daemon_.wait_output("dump status error: " + dump_link +
                                  ": a symbolic link, not followed\n"));
  ASSERT_TRUE(daemon_.signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon_.wait_exit(status)) << daemon_.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  EXPECT_EQ(read_file(pid_target), "outside pid");
  EXPECT_EQ(read_file(dump_target), "outside dump");
  EXPECT_TRUE(fs::is_symlink(pid_link));
  EXPECT_TRUE(fs::is_symlink(dump_link));
}

// FIFOs at the names of the PID file and the status dump, with nobody reading them: opening
// either would wait for a reader, so neither is written, each is refused with a line, and the
// daemon goes on serving.
TEST_F(RootFiles, PidFileAndStatusDumpOnFifosHoldNothing) {
  const std::string pid_fifo = OrvexdProcess::pid_file();
  const std::string dump_fifo = Path::board("/var/log/server-status");
  // Gone before the fixture ends: it reads the PID file to stop a detached daemon.
  struct Fifos {
    std::vector<std::string> paths;
    ~Fifos() {
      for (const std::string& path : paths) ::unlink(path.c_str());
    }
  } fifos{{pid_fifo, dump_fifo}};
  ASSERT_EQ(::mkfifo(pid_fifo.c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(dump_fifo.c_str(), 0644), 0);

  start();
  ASSERT_TRUE(daemon_.wait_output("pid file " + pid_fifo + ": not a regular file; not written\n"));
  ASSERT_TRUE(daemon_.signal(SIGUSR2));
  ASSERT_TRUE(daemon_.wait_output("dump status error: " + dump_fifo + ": not a regular file\n"));
  EXPECT_TRUE(clock_command_served()) << ctl_.error() << daemon_.output();
  ASSERT_TRUE(daemon_.signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon_.wait_exit(status)) << daemon_.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_fifo(pid_fifo));
  EXPECT_TRUE(fs::is_fifo(dump_fifo));
}

// Each file under `folder` and what it holds, a link as its target: what a test compares before
// and after.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).string();
    if (entry.is_symlink()) {
      files[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      files[name] = read_file(entry.path().string());
    } else {
      files[name] = "folder";
    }
  }
  return files;
}

// Something made in the root that leads to the folder `outside`, and the one line that refuses
// it, with ROOT for the root.
struct WayOutCase {
  const char* name;
  std::function<void(const std::string& root, const std::string& outside)> make;
  std::string line;
};

void PrintTo(const WayOutCase& c, std::ostream* os) { *os << c.name; }

// The make of a case whose folder `folder` of the root becomes a symbolic link to `outside`.
std::function<void(const std::string&, const std::string&)> linked_out(const char* folder) {
  return [folder](const std::string& root, const std::string& outside) {
    fs::remove_all(root + folder);
    fs::create_directory_symlink(outside, root + folder);
  };
}

const WayOutCase kWaysOut[] = {
    {"MonitoringFolderLinkedOut",
     linked_out("/var/monitoring"),
     "monitoring: ROOT/var/monitoring/: a folder on the way leads out of the root; no monitoring "
     "file is written or removed\n"},
    {"RunFolderLinkedOut",
     linked_out("/var/run"),
     "pid file ROOT/var/run/server.pid: a folder on the way leads out of the root; not written\n"},
    {"LogFolderLinkedOut",
     linked_out("/var/log"),
     "dump status error: ROOT/var/log/server-status: a folder on the way leads out of the "
     "root\n"},
    {"VarLinkedOutAboveTheRunFolder",
     [](const std::string& root, const std::string& outside) {
       fs::rename(root + "/var", outside + "/var");
       fs::create_directory_symlink(outside + "/var", root + "/var");
     },
     "pid file ROOT/var/run/server.pid: a folder on the way leads out of the root; not written\n"},
    {"PidFileHardLinkedOut",
     [](const std::string& root, const std::string& outside) {
       fs::create_hard_link(outside + "/keep", root + "/var/run/server.pid");
     },
     "pid file ROOT/var/run/server.pid: a file with other links; not written\n"},
    {"StatusDumpHardLinkedOut",
     [](const std::string& root, const std::string& outside) {
       fs::create_hard_link(outside + "/keep", root + "/var/log/server-status");
     },
     "dump status error: ROOT/var/log/server-status: a file with other links\n"},
    {"StatusDumpAFolder",
     [](const std::string& root, const std::string&) {
       fs::create_directory(root + "/var/log/server-status");
     },
     "dump status error: ROOT/var/log/server-status: a folder, not a regular file\n"},
};

class WaysOut : public RootFiles, public testing::WithParamInterface<WayOutCase> {};

// The daemon starts, serves a command that writes a monitoring file, dumps its status and stops:
// nothing outside the root changes, and the way out is refused with one line.
TEST_P(WaysOut, NothingOutsideTheRootIsWrittenOrRemoved) {
  const WayOutCase& c = GetParam();
  TempRoot outside;  // sets $ORVEXD_ROOT: put it back at once
  ASSERT_EQ(::setenv("ORVEXD_ROOT", board_.root().c_str(), 1), 0);
  std::ofstream(outside.path() + "/keep") << "outside";
  fs::create_directories(outside.path() + "/S/2");
  std::ofstream(outside.path() + "/S/2/.mon-kept00") << "outside temporary";
  c.make(board_.root(), outside.path());
  const std::map<std::string, std::string> before = snapshot(outside.path());

  start();
  ASSERT_TRUE(wait_until([&] { return ctl_.connect("127.0.0.1", port_, wait_ms); }, wait_ms));
  Ctl::Received r;
  ASSERT_TRUE(ctl_.command("display : snmp-set : { commands { { uniq 1, id name : { section "
                           "\"S\", name \"N\", index 2 }, value \"V\" } } }",
                           r, wait_ms))
      << ctl_.error();
  EXPECT_NE(r.text().find("response : success"), std::string::npos) << r.text();
  ASSERT_TRUE(daemon_.signal(SIGUSR2));
  const std::string dump = Path::board("/var/log/server-status");
  EXPECT_TRUE(wait_until(
      [&] {
        return daemon_.output().find("dump status error") != std::string::npos ||
               read_file(dump).rfind("server status information", 0) == 0;
      },
      wait_ms));
  ASSERT_TRUE(daemon_.signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon_.wait_exit(status)) << daemon_.output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  EXPECT_EQ(snapshot(outside.path()), before);
  std::string line = c.line;
  line.replace(line.find("ROOT"), 4, board_.root());
  const std::string output = daemon_.output();
  const size_t at = output.find(line);
  EXPECT_NE(at, std::string::npos) << output;
  EXPECT_EQ(output.rfind(line), at) << output;
}

INSTANTIATE_TEST_SUITE_P(RootFiles, WaysOut, testing::ValuesIn(kWaysOut),
                         [](const testing::TestParamInfo<WayOutCase>& info) {
                           return std::string(info.param.name);
                         });

// FIFOs at the names of board files read on the monitoring's periodic check, with no writer:
// each is passed over at once, and the daemon answers right after the check.
class BoardFileFifo : public RootFiles, public testing::WithParamInterface<const char*> {};

TEST_P(BoardFileFifo, DaemonAnswersAcrossTheCheck) {
  const std::string fifo = Path::board(GetParam());
  ASSERT_EQ(::unlink(fifo.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::ofstream(Path::board("/usr/local/etc/server.conf"))
      << "[traces]\nmonitoring.internal = yes\n";
  start();
  // The last version file of the check, read before the others of its turn.
  ASSERT_TRUE(daemon_.wait_output("BoardVersion - rev C")) << daemon_.output();
  ASSERT_TRUE(wait_until([&] { return ctl_.connect("127.0.0.1", port_, wait_ms); }, wait_ms));
  Ctl::Received r;
  ASSERT_TRUE(ctl_.command("ping : NULL", r, wait_ms)) << ctl_.error() << daemon_.output();
  EXPECT_NE(r.text().find("response : success"), std::string::npos) << r.text();
  EXPECT_TRUE(fs::is_fifo(fifo));
}

INSTANTIATE_TEST_SUITE_P(RootFiles, BoardFileFifo,
                         testing::Values("/var/version", "/proc/temperature",
                                         "/proc/driver/hdlc/peb22554/0"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name;
                           for (const char* c = info.param; *c; ++c)
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           return name;
                         });

// Temporaries that a killed daemon left between a value's write and its rename, in the top
// folder and in folders below it, are gone after a start; the values beside them, and what a
// link inside the store leads to, stay.
TEST_F(RootFiles, MonitoringTemporariesLeftByAKillAreRemovedAtStart) {
  TempRoot elsewhere;  // sets $ORVEXD_ROOT: put it back at once
  ASSERT_EQ(::setenv("ORVEXD_ROOT", board_.root().c_str(), 1), 0);
  std::ofstream(elsewhere.path() + "/.mon-linked") << "x";
  const std::string mon = Path::board("/var/monitoring/");
  fs::create_directories(mon + "S/2");
  fs::create_directories(mon + "controller/127.0.0.9");
  std::ofstream(mon + "S/2/N") << "V";
  const char* const leftovers[] = {".mon-a1B2c3", "S/2/.mon-d4E5f6",
                                   "controller/127.0.0.9/.mon-g7H8i9"};
  for (const char* leftover : leftovers) std::ofstream(mon + leftover) << "cut short";
  fs::create_directory_symlink(elsewhere.path(), mon + "S/2/away");

  start();
  EXPECT_TRUE(clock_command_served()) << ctl_.error() << daemon_.output();
  for (const char* leftover : leftovers) EXPECT_FALSE(fs::exists(mon + leftover)) << leftover;
  EXPECT_EQ(read_file(mon + "S/2/N"), "V");
  EXPECT_EQ(read_file(elsewhere.path() + "/.mon-linked"), "x");
}

// Every line of the configuration that is read as nothing gets one line naming the file and
// the line, in line order; a line that is read gets none.
TEST_F(RootFiles, ConfigurationLinesReadAsNothingAreNamed) {
  const std::string path = Path::board("/usr/local/etc/server.conf");
  std::ofstream(path) << "signalling.hdlc = yes\n"              // 1
                         "[traces]\n"                            // 2
                         "signalling.events = yes\n"             // 3
                         "[snmpagent]\n"                         // 4
                         "host = 127.0.0.1:0\n"                  // 5
                         "name = tavo\n"                         // 6
                         "[traces]\n"                            // 7
                         "monitoring.internl = yes\n"            // 8
                         "signalling.hdlc yes\n"                 // 9
                         "[traces\n"                             // 10
                         "signalling.lemzgw = yes\n";            // 11
  start();
  const std::string at = "configuration " + path + " line ";
  const std::vector<std::string> lines = {
      "snmpagent.tavo: host \"127.0.0.1:0\" has port 0, no link\n",
      at + "1: \"signalling.hdlc = yes\" before any section, ignored\n",
      at + "2: section \"traces\" ignored: the one on line 7 is read\n",
      at + "8: key \"monitoring.internl\" of section \"traces\" unknown, ignored\n",
      at + "9: \"signalling.hdlc yes\" has no \"=\", ignored\n",
      at + "10: \"[traces\" has no \"]\": ignored with the lines up to the next header\n",
      at + "11: \"signalling.lemzgw = yes\" under a header without \"]\", ignored\n",
  };
  const std::string output = daemon_.output();
  size_t from = 0;
  for (const std::string& line : lines) {
    const size_t at_line = output.find(line, from);
    EXPECT_NE(at_line, std::string::npos) << line << output;
    if (at_line != std::string::npos) from = at_line + line.size();
  }
  EXPECT_EQ(output.find("configuration " + path + " line 3"), std::string::npos) << output;

  // Above the bound, the file is not read at all: one line, and the daemon runs on defaults.
  ASSERT_TRUE(daemon_.signal(SIGTERM));
  int status = -1;
  ASSERT_TRUE(daemon_.wait_exit(status));
  std::ofstream(path) << "[traces]\n" << std::string(1 << 20, '#') << "\n";
  start();
  EXPECT_EQ(daemon_.output().substr(0, daemon_.output().find('\n') + 1),
            "configuration " + path + " not read: larger than 1048576 bytes; defaults apply\n");
}

}  // namespace
