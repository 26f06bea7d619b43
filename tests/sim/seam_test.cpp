// The device seam against a running simulator: opens, records and requests.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/device_wire.h"
#include "base/fd.h"
#include "tests/support/loopback.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/processes.h"
#include "tests/support/stream_capture.h"
#include "tests/support/test_clock.h"
#include "tools/simctl/board_sim.h"

namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t kSum = 0xc0085301;      // the echo device's {a, b} -> {a + b, a * b}
constexpr uint32_t kReverse = 0x40035302;  // any other record request: bytes reversed
constexpr uint32_t kValue = 0x00005303;    // a value request: the value back

class Seam : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.ok()); }

  static Fd open_echo(int flags = O_RDWR) { return Fd(Device::open("/dev/sim/echo", flags)); }

  static std::string read_record(const Fd& fd) {
    std::string buffer(70000, '\0');
    ssize_t n = ::read(fd.get(), &buffer[0], buffer.size());
    return n < 0 ? "<" + std::string(std::strerror(errno)) + ">" : buffer.substr(0, n);
  }

  BoardSim sim;
};

TEST_F(Seam, RequestsCarryRecordsAndValuesBothWaysAndAreLoggedDecoded) {
  Fd fd = open_echo();
  ASSERT_TRUE(fd);
  EXPECT_TRUE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC);

  uint32_t sum[2] = {3, 4};
  EXPECT_EQ(Device::ioctl(fd.get(), kSum, sum, sizeof sum), 0);
  EXPECT_EQ(sum[0], 7u);
  EXPECT_EQ(sum[1], 12u);

  unsigned char bytes[3] = {1, 2, 3};
  EXPECT_EQ(Device::ioctl(fd.get(), kReverse, bytes, sizeof bytes), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 3), "\x03\x02\x01");

  EXPECT_EQ(Device::ioctl(fd.get(), kValue, 42ul), 42);

  uint32_t short_sum = 1;
  errno = 0;
  EXPECT_EQ(Device::ioctl(fd.get(), kSum, &short_sum, sizeof short_sum), -1);
  EXPECT_EQ(errno, EINVAL);

  EXPECT_EQ(sim.command("log sim/echo"), (Lines{"0xc0085301 a=3 b=4", "0x40035302 01 02 03",
                                                "0x00005303 42", "0xc0085301 01 00 00 00"}));
}

TEST_F(Seam, InjectedFailureHitsTheNextMatchingRequestOnly) {
  struct Case {
    const char* name;
    const char* command;
    int error;
    // Makes the request once; true when it succeeded, else errno is set.
    bool (*attempt)(const Fd& fd);
  };
  auto value = [](const Fd& fd) { return Device::ioctl(fd.get(), kValue, 5ul) == 5; };
  auto record = [](const Fd& fd) {
    unsigned char b[2] = {1, 2};
    return Device::ioctl(fd.get(), kReverse, b, sizeof b) == 2;
  };
  auto open = [](const Fd&) {
    int fd = Device::open("/dev/sim/echo", O_RDWR);
    return fd >= 0 && ::close(fd) == 0;
  };
  const Case cases[] = {
      {"value request by name", "fail sim/echo 0x5303 EIO", EIO, value},
      {"record request by number", "fail sim/echo 0x40035302 13", EACCES, record},
      {"open", "fail sim/echo open EBUSY", EBUSY, open},
  };
  Fd fd = open_echo();
  ASSERT_TRUE(fd);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(sim.command(c.command), Lines{"ok"});
    // Other requests are not affected.
    EXPECT_EQ(Device::ioctl(fd.get(), 0x00005399, 1ul), 1);
    errno = 0;
    EXPECT_FALSE(c.attempt(fd));
    EXPECT_EQ(errno, c.error);
    EXPECT_TRUE(c.attempt(fd));
  }
}

TEST_F(Seam, DuplicatesShareOneSessionThatEndsWithTheLast) {
  Fd original = open_echo();
  ASSERT_TRUE(original);
  Fd duplicate(original);
  ASSERT_TRUE(duplicate);
  EXPECT_EQ(sim.command("sessions sim/echo"), Lines{"1"});
  EXPECT_EQ(Device::ioctl(duplicate.get(), kValue, 7ul), 7);
  original.close();
  EXPECT_EQ(sim.command("sessions sim/echo"), Lines{"1"});
  EXPECT_EQ(Device::ioctl(duplicate.get(), kValue, 8ul), 8);
  duplicate.close();
  EXPECT_EQ(sim.command("sessions sim/echo"), Lines{"0"});
}

TEST_F(Seam, MalformedMessagesAreRefusedWithEinval) {
  DeviceWire::IoctlRequest bad_kind{kValue, 7, 1, 0};
  DeviceWire::IoctlRequest value_with_bytes{kValue, DeviceWire::kValue, 1, 0};
  struct Case {
    const char* name;
    const char* socket;
    std::string message;
  } const cases[] = {
      {"short request", "/dev/.board", "abc"},
      {"unknown kind", "/dev/.board", std::string(reinterpret_cast<char*>(&bad_kind), 24)},
      {"value with bytes", "/dev/.board",
       std::string(reinterpret_cast<char*>(&value_with_bytes), 24) + "xy"},
      {"oversized record", "/dev/.board", std::string(24 + DeviceWire::kMaxRecord + 1, '\1')},
      {"short open", "/dev/sim/echo", "ab"},
      {"long open", "/dev/sim/echo", std::string(8, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fd fd = unix_socket(SOCK_SEQPACKET, "", sim.root() + c.socket);
    ASSERT_EQ(::send(fd.get(), c.message.data(), c.message.size(), 0), ssize_t(c.message.size()));
    char answer[16];
    ssize_t n = ::recv(fd.get(), answer, sizeof answer, 0);
    int32_t words[2];
    std::memcpy(words, answer, sizeof words);
    if (c.socket == std::string("/dev/.board")) {
      ASSERT_EQ(n, 8);
      EXPECT_EQ(words[0], -1);
      EXPECT_EQ(words[1], EINVAL);
    } else {
      ASSERT_EQ(n, 4);
      EXPECT_EQ(words[0], EINVAL);
    }
  }
  EXPECT_EQ(sim.command("sessions sim/echo"), Lines{"0"});
  Fd fd = open_echo();
  EXPECT_EQ(Device::ioctl(fd.get(), kValue, 4ul), 4);
}

// A dead board fails every request: 10 s of them give one line a second for each request (and
// device opened), the counts of those left out, and once the board answers again the counts
// still owed, so that every failure is counted once.
TEST_F(Seam, DeadBoardFailuresAreLoggedOnceASecondPerKindWithExactCounts) {
  TestClockGuard clock(1000000);
  constexpr uint32_t kRecord = 0x40045398, kNumber = 0x00005399;  // kinds of this test alone
  Fd fd = open_echo();
  ASSERT_TRUE(fd);
  ASSERT_EQ(Device::ioctl(fd.get(), kValue, 1ul), 1);
  ASSERT_EQ(::kill(sim.pid(), SIGKILL), 0);
  // Gone once it waits to be reaped: its sockets are closed by then.
  ASSERT_TRUE(wait_until([&] { return !alive(sim.pid()); }, 5000));
  // The request connection kept from before ends with a reset or a refusal; later ones are
  // refused.
  EXPECT_EQ(Device::ioctl(fd.get(), kValue, 1ul), -1);
  StreamCapture err(std::cerr);

  const std::string refused = ": Connection refused";
  const std::string record = "device: ioctl 0x40045398", number = "device: ioctl 0x00005399";
  const std::string open = "device: open " + sim.root() + "/dev/sim/echo";
  Lines expected;
  for (int second = 0; second < 10; ++second) {
    for (int i = 0; i < 100; ++i) {
      unsigned char b[4] = {};
      EXPECT_EQ(Device::ioctl(fd.get(), kRecord, b, sizeof b), -1);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Device::ioctl(fd.get(), kNumber, 7ul), -1);
    EXPECT_EQ(Device::open("/dev/sim/echo", O_RDWR), -1);
    const bool first = second == 0;
    expected.push_back(record + refused + (first ? "" : " (99 similar lines left out)"));
    expected.push_back(number + refused + (first ? "" : " (2 similar lines left out)"));
    expected.push_back(open + refused);
    Mux::TestClock::advance_ms(1000);
  }
  EXPECT_EQ(err.take_lines(), expected);

  // The board back: its first answer ends the series.
  ASSERT_TRUE(sim.restart());
  Fd again = open_echo();
  ASSERT_TRUE(again);
  EXPECT_EQ(err.take_lines(), (Lines{number + " (1 similar lines left out)",
                                     record + " (98 similar lines left out)"}));
  EXPECT_EQ(Device::ioctl(again.get(), kNumber, 7ul), 7);
  EXPECT_EQ(err.take_lines(), Lines{});
}

// A process that ends while the board is dead still writes the counts it owes.
TEST_F(Seam, DeadBoardCountsStillOwedAreWrittenAtExit) {
  TestClockGuard clock(1000000);
  constexpr uint32_t kOwed = 0x0000539a;  // a kind of this test alone
  Fd fd = open_echo();
  ASSERT_TRUE(fd);
  ASSERT_EQ(::kill(sim.pid(), SIGKILL), 0);
  ASSERT_TRUE(wait_until([&] { return !alive(sim.pid()); }, 5000));
  EXPECT_EXIT(
      {
        for (int i = 0; i < 4; ++i) Device::ioctl(fd.get(), kOwed, 1ul);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "device: ioctl 0x0000539a \\(2 similar lines left out\\)");
}

}  // namespace
