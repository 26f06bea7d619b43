// The simulator's control socket: hostile lines and clients, clean shutdown.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "tests/support/loopback.h"
#include "tools/simctl/board_sim.h"

namespace {

using Lines = std::vector<std::string>;

class Control : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.ok()); }

  // A raw connection to sim.ctl.
  Fd connect_control() { return unix_socket(SOCK_STREAM, "", sim.root() + "/sim.ctl"); }

  BoardSim sim;
};

TEST_F(Control, EveryBadLineGetsOneErrorLine) {
  const std::string cases[] = {
      "",
      "bogus",
      "switch 3",
      "fail sim/echo",
      "fail sim/echo 0xZZ EIO",
      "fail sim/echo open EWHAT",
      "fail sim/echo write EIO",
      "plug nodev",
      "echo burst 999999999 4",
      std::string(100000, 'x'),
      std::string("\0\xff\x01 junk \x7f", 10),
  };
  for (const std::string& line : cases) {
    SCOPED_TRACE(line.substr(0, 40));
    Lines reply = sim.command(line);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0].rfind("error: ", 0), 0u) << reply[0];
  }
  EXPECT_EQ(sim.command("ping"), Lines{"ok"});
  // The failures above that were refused left nothing queued.
  Fd echo(Device::open("/dev/sim/echo", O_RDWR));
  ASSERT_TRUE(echo);
  EXPECT_EQ(::write(echo.get(), "x", 1), 1);
}

TEST_F(Control, ClientsThatMisbehaveDoNotDisturbOthers) {
  {
    Fd rude = connect_control();
    std::string junk(1 << 20, '\n');  // a million empty commands, replies never read
    ::send(rude.get(), junk.data(), junk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    Fd half = connect_control();
    ::send(half.get(), "log sim/e", 9, MSG_NOSIGNAL);  // hangs up mid-line
  }
  EXPECT_EQ(sim.command("ping"), Lines{"ok"});
  EXPECT_EQ(sim.command("ping\nping x"), (Lines{"ok", "ok x"}));
}

TEST_F(Control, ClientThatStopsSendingStillGetsEveryReply) {
  Fd echo(Device::open("/dev/sim/echo", O_RDWR));
  ASSERT_TRUE(echo);
  for (unsigned long i = 0; i < 200; ++i) {
    ASSERT_EQ(Device::ioctl(echo.get(), 0x5303, i % 10), int(i % 10));
  }
  // One read of the simulator takes every command; their replies (MBs) are far beyond what
  // the socket holds when the end of input is seen.
  Fd client = connect_control();
  std::string commands;
  const int count = 1000;
  for (int i = 0; i < count; ++i) commands += "log sim/echo\n";
  ASSERT_LT(commands.size(), 16384u);
  ASSERT_EQ(::send(client.get(), commands.data(), commands.size(), MSG_NOSIGNAL),
            ssize_t(commands.size()));
  ASSERT_EQ(::shutdown(client.get(), SHUT_WR), 0);
  std::string replies;
  char buffer[65536];
  for (;;) {
    pollfd p{client.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    replies.append(buffer, n);
  }
  std::string one;
  for (int i = 0; i < 200; ++i) one += "0x00005303 " + std::to_string(i % 10) + "\n";
  one += ".\n";
  ASSERT_EQ(replies.size(), one.size() * count);
  EXPECT_EQ(replies.substr(replies.size() - one.size()), one);
}

TEST(BoardSimProcess, TermEndsItCleanlyAndRemovesItsSockets) {
  char pattern[] = "/tmp/orvex-term-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  std::string root = pattern;
  std::string option = "--root=" + root;
  const std::string binary = BoardSim::default_binary();
  char* argv[] = {const_cast<char*>(binary.c_str()), const_cast<char*>(option.c_str()), nullptr};
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  Fd reader(out[0]), writer(out[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writer.get(), STDOUT_FILENO);
  pid_t pid;
  ASSERT_EQ(::posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  writer.close();

  char ready[6] = {};
  pollfd p{reader.get(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  EXPECT_EQ(::read(reader.get(), ready, 6), 6);
  EXPECT_EQ(std::string(ready, 6), "ready\n");
  for (const char* path : {"/sim.ctl", "/dev/.board", "/dev/misc/gw-wd", "/dev/sim/echo",
                           "/var/run", "/var/log", "/var/monitoring", "/usr/local/etc", "/proc"}) {
    EXPECT_TRUE(std::filesystem::exists(root + path)) << path;
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (const char* path : {"/sim.ctl", "/dev/.board", "/dev/misc/gw-wd", "/dev/sim/echo"}) {
    EXPECT_FALSE(std::filesystem::exists(root + path)) << path;
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace
