#include "base/syslog_client.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <gtest/gtest.h>
#include <ostream>
#include <regex>
#include <sstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
#include <vector>

#include "base/fd.h"
#include "base/mux_clock.h"
#include "base/syslog_pump.h"
#include "tests/support/loop_turns.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_root.h"

namespace {

// A syslog daemon of the test's own at $ORVEXD_ROOT/dev/log.
class SysLog : public testing::Test {
 protected:
  void SetUp() override {
    syslogManager.closelog();
    syslogManager.openlog(nullptr, 0, LOG_USER);
    log_path_ = root_.path() + "/dev/log";
  }
  void TearDown() override { syslogManager.closelog(); }

  Fd listen(int type) {
    ::unlink(log_path_.c_str());
    return unix_socket(type, log_path_);
  }

  // Every datagram waiting on fd.
  static std::vector<std::string> datagrams(const Fd& fd) {
    std::vector<std::string> out;
    char buf[4096];
    for (;;) {
      ssize_t n = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0) break;
      out.emplace_back(buf, size_t(n));
    }
    return out;
  }

  // The record without its time stamp ("Mmm dd hh:mm:ss "), which must be well formed.
  static std::string unstamped(const std::string& record) {
    static const std::regex re("^(<[0-9]+>)[A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] ");
    std::smatch m;
    if (!std::regex_search(record, m, re)) return "bad stamp: " + record;
    return m[1].str() + record.substr(size_t(m.length(0)));
  }

  TempRoot root_;
  std::string log_path_;
};

TEST_F(SysLog, RecordMatchesLoggerBytes) {
  Fd rx = listen(SOCK_DGRAM);
  syslogManager.openlog("syslog-xj", 0, 0);
  const std::string logger = "logger -u " + log_path_ + " -t syslog-xj -p daemon.notice ";
  // The two records carry the same time stamp unless the second changes in between.
  for (int attempt = 0; attempt < 3; ++attempt) {
    unsigned before = Mux::seconds();
    ASSERT_EQ(std::system((logger + "hello").c_str()), 0);
    ASSERT_EQ(std::system((logger + "'%s %d'").c_str()), 0);
    syslogManager.syslog(29, "hello");
    syslogManager.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "%s %d");
    syslogManager.sendmsg();
    std::vector<std::string> got = datagrams(rx);
    if (Mux::seconds() != before) continue;
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[2], got[0] + std::string(1, '\0'));
    EXPECT_EQ(got[3], got[1] + std::string(1, '\0'));
    EXPECT_EQ(got[0].substr(0, 4), "<29>");
    return;
  }
  FAIL() << "the clock kept changing its second";
}

// A receiver that does not read holds only net.unix.max_dgram_qlen datagrams: the send never
// waits for it; the records it has no room for stay queued, in order, and go out as it reads.
TEST_F(SysLog, BatchOf256RecordsGoesOutAsSeparateDatagramsAndWhatFindsNoRoomWaits) {
  Fd rx = listen(SOCK_DGRAM);
  for (int i = 0; i < 255; ++i) syslogManager.syslog(29, "r%d", i);
  EXPECT_TRUE(datagrams(rx).empty());
  const unsigned long drops = syslogManager.drops();
  syslogManager.syslog(29, "r%d", 255);
  std::vector<std::string> got = datagrams(rx);
  ASSERT_FALSE(got.empty());
  EXPECT_GT(syslogManager.waiting(), 0u);
  EXPECT_TRUE(syslogManager.blocked());
  for (int turn = 0; turn < 256 && got.size() < 256; ++turn) {
    syslogManager.sendmsg();
    for (std::string& d : datagrams(rx)) got.push_back(std::move(d));
  }
  ASSERT_EQ(got.size(), 256u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(unstamped(got[i]), "<29>syslog-xj: r" + std::to_string(i) + std::string(1, '\0'));
  }
  EXPECT_EQ(syslogManager.drops(), drops);
  EXPECT_EQ(syslogManager.sendmsg(), 0);
  EXPECT_TRUE(syslogManager.connected());
}

// A full stream takes part of a record: the rest follows it once there is room, so every
// record arrives whole and in order; records are dropped only at the queue's bound.
TEST_F(SysLog, StreamListenerSwitchesSocketTypeKeepsTheQueueInTheStreamAndDropsAtTheBound) {
  Fd listener = listen(SOCK_STREAM);
  syslogManager.openlog("syslog-xj", LOG_NDELAY, 0);
  ASSERT_TRUE(syslogManager.connected());
  int type = 0;
  socklen_t len = sizeof type;
  ASSERT_EQ(::getsockopt(syslogManager.socket(), SOL_SOCKET, SO_TYPE, &type, &len), 0);
  EXPECT_EQ(type, SOCK_STREAM);
  Fd rx(::accept(listener.get(), nullptr, nullptr));
  ASSERT_TRUE(rx);
  syslogManager.syslog(29, "a");
  syslogManager.syslog(29, "b");
  EXPECT_GT(syslogManager.sendmsg(), 0);
  std::vector<std::string> got = datagrams(rx);
  ASSERT_EQ(got.size(), 1u);
  std::string bytes = got[0];
  size_t nul = bytes.find('\0');
  ASSERT_NE(nul, std::string::npos);
  EXPECT_EQ(unstamped(bytes.substr(0, nul)), "<29>syslog-xj: a");
  EXPECT_EQ(unstamped(bytes.substr(nul + 1)), "<29>syslog-xj: b" + std::string(1, '\0'));

  const unsigned long drops = syslogManager.drops();
  int made = 0;
  for (; made < 100000 && syslogManager.drops() == drops; ++made) {
    syslogManager.syslog(29, "%05d%s", made, std::string(900, 'x').c_str());
    syslogManager.sendmsg();
  }
  EXPECT_EQ(syslogManager.drops(), drops + 1);
  // "<29>Mmm dd hh:mm:ss syslog-xj: ", the number, the text and the NUL: the queue is full.
  const size_t record = 31 + 5 + 900 + 1;
  EXPECT_EQ(syslogManager.waiting(), size_t(SysLogManager::kQueueBytes) / record);
  // Read a little at a time, so that sends stop inside a record.
  std::string stream;
  for (int turn = 0; turn < 100000 && syslogManager.waiting() > 0; ++turn) {
    syslogManager.sendmsg();
    char buf[4096];
    ssize_t n = ::recv(rx.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) stream.append(buf, size_t(n));
  }
  for (const std::string& d : datagrams(rx)) stream += d;
  // Every record but the one dropped (the last made), whole and in order.
  size_t at = 0;
  int next = 0;
  for (size_t end; (end = stream.find('\0', at)) != std::string::npos; at = end + 1, ++next) {
    char number[8];
    std::snprintf(number, sizeof number, "%05d", next);
    ASSERT_EQ(unstamped(stream.substr(at, end - at)),
              "<29>syslog-xj: " + std::string(number) + std::string(900, 'x'));
  }
  EXPECT_EQ(at, stream.size());
  EXPECT_EQ(next, made - 1);
  EXPECT_EQ(syslogManager.drops(), drops + 1);
}

// With the pump on the loop, a receiver that reads a few records a turn gets every record of
// a burst below the queue's bound; with none, or one that reads only after the burst, what is
// lost is counted.
TEST_F(SysLog, PumpSendsWhatWaitsAndEveryLostRecordIsCounted) {
  struct Case {
    const char* name;
    bool receiver;
    int records;
    int read_every;  // during the burst, one record read for every `read_every` made; 0: none
  };
  const Case cases[] = {
      {"no receiver", false, 50, 0},
      {"slow receiver", true, 900, 2},
      {"receiver that reads after the burst", true, 1100, 0},
  };
  SysLogPump pump;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    syslogManager.closelog();
    ::unlink(log_path_.c_str());
    Fd rx;
    if (c.receiver) rx = listen(SOCK_DGRAM);
    const unsigned long drops = syslogManager.drops();
    std::vector<std::string> got;
    const auto read = [&](size_t most) {
      char buf[2048];
      for (; most > 0; --most) {
        ssize_t n = ::recv(rx.get(), buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0) return;
        got.emplace_back(buf, size_t(n));
      }
    };
    for (int i = 0; i < c.records; ++i) {
      // As a stream buffer does: one line, then a send.
      syslogManager.syslog(29, "r%d", i);
      syslogManager.sendmsg();
      if (c.read_every > 0 && i % c.read_every == 0) read(1);
      if (c.read_every > 0) turns();
    }
    for (int turn = 0; c.receiver && turn < 10000 && syslogManager.waiting() > 0; ++turn) {
      read(3);
      turns();
    }
    if (c.receiver) read(100000);
    const unsigned long lost = syslogManager.drops() - drops;
    EXPECT_EQ(got.size() + lost, size_t(c.records));
    EXPECT_EQ(syslogManager.waiting(), 0u);
    if (!c.receiver) {
      EXPECT_EQ(lost, unsigned(c.records));
    }
    if (c.read_every > 0) {
      EXPECT_EQ(lost, 0u);
    }
    if (c.records > SysLogManager::kQueueRecords) {
      EXPECT_GT(lost, 0u);
      EXPECT_GE(got.size(), size_t(SysLogManager::kQueueRecords));
    }
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(unstamped(got[i]), "<29>syslog-xj: r" + std::to_string(i) + std::string(1, '\0'));
    }
  }
}

TEST_F(SysLog, RestartedListenerIsFoundAgain) {
  Fd rx = listen(SOCK_DGRAM);
  syslogManager.syslog(29, "one");
  EXPECT_GT(syslogManager.sendmsg(), 0);
  EXPECT_EQ(datagrams(rx).size(), 1u);

  // With no listener the send fails and the socket is closed; the next record connects.
  rx.close();
  ::unlink(log_path_.c_str());
  syslogManager.syslog(29, "lost");
  EXPECT_LT(syslogManager.sendmsg(), 0);
  EXPECT_FALSE(syslogManager.connected());
  EXPECT_EQ(syslogManager.socket(), -1);
  rx = listen(SOCK_DGRAM);
  syslogManager.syslog(29, "three");
  EXPECT_TRUE(syslogManager.connected());
  EXPECT_GT(syslogManager.sendmsg(), 0);
  EXPECT_EQ(datagrams(rx).size(), 1u);
}

TEST_F(SysLog, StreamBufferSendsLinesAsRecords) {
  Fd rx = listen(SOCK_DGRAM);
  auto buf = std::make_unique<ManagedSysLogStreamBuf>(3, 5);
  std::ostream out(buf.get());

  out << "a\nb\nc" << std::flush;
  std::vector<std::string> got = datagrams(rx);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(unstamped(got[0]), "<29>syslog-xj: a" + std::string(1, '\0'));
  EXPECT_EQ(unstamped(got[1]), "<29>syslog-xj: b" + std::string(1, '\0'));
  EXPECT_EQ(unstamped(got[2]), "<29>syslog-xj: c" + std::string(1, '\0'));

  out << "abc %s %d" << std::flush;
  EXPECT_TRUE(datagrams(rx).empty());
  out << " def" << std::endl;
  got = datagrams(rx);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(unstamped(got[0]), "<29>syslog-xj: abc %s %d def" + std::string(1, '\0'));

  // A full put area (16383 bytes) without a line feed goes out as one (cut) record.
  out << std::string(16383, 'y');
  EXPECT_TRUE(datagrams(rx).empty());
  out << 'z';
  got = datagrams(rx);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].size(), 1024u);

  // Destruction logs the waiting partial line.
  out.rdbuf(nullptr);
  buf.reset();
  got = datagrams(rx);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(unstamped(got[0]), "<29>syslog-xj: z" + std::string(1, '\0'));
}

}  // namespace
