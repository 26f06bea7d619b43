#include "base/daemon.h"

#include <fcntl.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <ostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/fd.h"
#include "base/hourly_log.h"
#include "base/mux_clock.h"
#include "tests/support/loopback.h"
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

// The descriptor flags of this process's descriptor of `path`; -1 when none is open.
int descriptor_flags(const std::string& path) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path)
      return ::fcntl(std::stoi(entry.path().filename().string()), F_GETFD);
  }
  return -1;
}

class HourlyLog : public testing::Test {
 protected:
  void SetUp() override { Mux::TestClock::set(1000000000); }
  void TearDown() override { Mux::TestClock::release(); }
  TempRoot root_;
};

// Pieces of one line share the prefix of the first; a change of hour opens a new file at the
// next line.
TEST_F(HourlyLog, LinesAndHours) {
  const std::string dir = root_.path();
  Stamp first;
  auto buf = std::make_unique<LogFileStreamBuf>(dir);
  std::ostream out(buf.get());
  out << "abc" << std::flush;
  Mux::TestClock::advance_ms(1500);
  out << "def" << std::endl;
  Stamp second;
  out << "a line longer than sixteen characters\nx\ny\n" << std::flush;
  out << "begun" << std::flush;
  ASSERT_EQ(second.file(dir), first.file(dir));
  const std::string p2 = second.prefix();
  const std::string lines =
      p2 + "a line longer than sixteen characters\n" + p2 + "x\n" + p2 + "y\n";
  // Each finished line is in the file already.
  EXPECT_EQ(read_file(first.file(dir)), first.prefix() + "abcdef\n" + lines);
  // A child the daemon starts does not inherit its log file.
  const int flags = descriptor_flags(first.file(dir));
  ASSERT_NE(flags, -1);
  EXPECT_TRUE(flags & FD_CLOEXEC);
  Mux::TestClock::advance_ms(3600 * 1000);
  Stamp third;
  out << " ended\nnext\n" << std::flush;
  out << "tail";
  buf.reset();  // writes the waiting "tail" and closes the file
  ASSERT_NE(first.file(dir), third.file(dir));
  EXPECT_EQ(read_file(first.file(dir)),
            first.prefix() + "abcdef\n" + lines + p2 + "begun ended\n");
  EXPECT_EQ(read_file(third.file(dir)), third.prefix() + "next\n" + third.prefix() + "tail");
}

// Daemon mode runs in a forked child: daemon(3) forks again, and the grandchild logs to the
// test's own syslog socket.
TEST(Daemon, SyslogModeRedirectsStreamsAndDescriptorsOnce) {
  TempRoot root;
  Fd rx = unix_socket(SOCK_DGRAM, root.path() + "/dev/log");
  ASSERT_TRUE(rx);

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
