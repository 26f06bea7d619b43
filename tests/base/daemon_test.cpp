#include "base/daemon.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <ostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/fd.h"
#include "base/hourly_log.h"
#include "base/mux_clock.h"
#include "tests/support/temp_root.h"

namespace {

// The log file of the loop clock's current hour, and the prefix of a line begun now.
struct Stamp {
  Stamp() {
    Mux::gettimeval(tv);
    time_t secs = tv.tv_sec;
    ::localtime_r(&secs, &local);
  }
  std::string file(const std::string& dir) const {
    char name[32];
    ::strftime(name, sizeof name, "%Y_%m_%d-%H", &local);
    return dir + "/" + name + ".log";
  }
  std::string prefix() const {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%05ld: ", local.tm_min, local.tm_sec, long(tv.tv_usec));
    return text;
  }
  Mux::timeval tv;
  struct tm local;
};

class HourlyLog : public testing::Test {
 protected:
  void SetUp() override { Mux::TestClock::set(1000000000); }
  void TearDown() override { Mux::TestClock::release(); }
  TempRoot root_;
};

TEST_F(HourlyLog, PiecesOfOneLineShareThePrefixOfTheFirst) {
  const std::string dir = root_.path();
  Stamp first;
  auto buf = std::make_unique<LogFileStreamBuf>(dir);
  std::ostream out(buf.get());
  out << "abc" << std::flush;
  Mux::TestClock::advance_ms(1500);
  out << "def" << std::endl;
  Stamp second;
  out << "a line longer than sixteen characters\n" << std::flush;
  out << "x\ny\n" << std::flush;
  // Each finished line is in the file already.
  ASSERT_EQ(second.file(dir), first.file(dir));
  const std::string p2 = second.prefix();
  EXPECT_EQ(read_file(first.file(dir)),
            first.prefix() + "abcdef\n" + p2 + "a line longer than sixteen characters\n" + p2 + "x\n" + p2 + "y\n");
  buf.reset();
}

TEST_F(HourlyLog, HourChangeOpensNewFileAtNextLine) {
  const std::string dir = root_.path();
  Stamp first;
  auto buf = std::make_unique<LogFileStreamBuf>(dir);
  std::ostream out(buf.get());
  out << "begun" << std::flush;
  Mux::TestClock::advance_ms(3600 * 1000);
  Stamp second;
  out << " ended\nnext\n" << std::flush;
  out << "tail";
  buf.reset();  // writes the waiting "tail" and closes the file
  ASSERT_NE(first.file(dir), second.file(dir));
  EXPECT_EQ(read_file(first.file(dir)), first.prefix() + "begun ended\n");
  EXPECT_EQ(read_file(second.file(dir)), second.prefix() + "next\n" + second.prefix() + "tail");
}

// Daemon mode runs in a forked child: daemon(3) forks again, and the grandchild logs to the
// test's own syslog socket.
TEST(Daemon, SyslogModeRedirectsStreamsAndDescriptorsOnce) {
  TempRoot root;
  std::string sock_path = root.path() + "/dev/log";
  Fd rx(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock_path.c_str());
  ASSERT_EQ(::bind(rx.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

  const std::string logs = root.path() + "/logs";
  std::filesystem::create_directories(logs);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Daemon::Params params;
    params.nochdir = true;
    params.name = std::string(100, 'n');
    Daemon::Init(params);
    Daemon::Params files;
    files.mode = 1;
    files.name = logs;
    Daemon::Init(files);
    std::cout << "out %s" << std::endl;
    std::cerr << "err" << std::endl;
    std::clog << "dbg" << std::endl;
    ssize_t ignored = ::write(STDOUT_FILENO, "raw", 3);
    (void)ignored;
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::vector<std::string> got;
  char buf[2048];
  while (got.size() < 4) {
    pollfd p{rx.get(), POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) break;
    ssize_t n = ::recv(rx.get(), buf, sizeof buf, 0);
    if (n < 0) break;
    got.emplace_back(buf, size_t(n));
  }
  ASSERT_EQ(got.size(), 4u);
  const std::string ident(79, 'n');
  const size_t stamp = 16;
  EXPECT_EQ(got[0].substr(0, 4), "<29>");
  EXPECT_EQ(got[0].substr(4 + stamp), ident + ": out %s" + std::string(1, '\0'));
  EXPECT_EQ(got[1].substr(0, 4), "<27>");
  EXPECT_EQ(got[1].substr(4 + stamp), ident + ": err" + std::string(1, '\0'));
  EXPECT_EQ(got[2].substr(0, 4), "<31>");
  EXPECT_EQ(got[2].substr(4 + stamp), ident + ": dbg" + std::string(1, '\0'));
  EXPECT_EQ(got[3], "raw");
  EXPECT_TRUE(std::filesystem::is_empty(logs));
}

}  // namespace
