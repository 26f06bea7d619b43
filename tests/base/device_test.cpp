// The device seam without a simulator: character devices go to the kernel, other files are
// refused, and a simulator that does not answer costs ETIMEDOUT, never a hang.
#include "base/device.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "base/fd.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_root.h"

namespace {

class DeviceSeam : public ::testing::Test {
 protected:

  // A SOCK_SEQPACKET socket listening at root/dev/NAME that never accepts nor answers.
  Fd silent_socket(const std::string& name) {
    return unix_socket(SOCK_SEQPACKET, root_ + "/dev/" + name);
  }

  TempRoot temp_;
  const std::string& root_ = temp_.path();
};

TEST_F(DeviceSeam, CharacterDeviceGoesToTheKernel) {
  std::string null = root_ + "/dev/null";
  if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "mknod not permitted here";
  }
  Fd fd(Device::open("/dev/null", O_RDWR));
  if (!fd && errno == EACCES) GTEST_SKIP() << "device files are not usable on /tmp (nodev)";
  ASSERT_TRUE(fd) << std::strerror(errno);
  EXPECT_TRUE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC);
  EXPECT_EQ(::write(fd.get(), "abc", 3), 3);

  int on = 1;
  EXPECT_EQ(Device::ioctl(fd.get(), FIONBIO, &on, sizeof on), 0);
  EXPECT_TRUE(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK);
  errno = 0;
  EXPECT_EQ(Device::ioctl(fd.get(), TCFLSH, static_cast<unsigned long>(TCIFLUSH)), -1);
  EXPECT_EQ(errno, ENOTTY);
}

TEST_F(DeviceSeam, OnlyDevicesAndSocketsOpen) {
  ASSERT_EQ(::mkdir((root_ + "/dev/folder").c_str(), 0755), 0);
  Fd file(::open((root_ + "/dev/file").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
  ASSERT_TRUE(file);
  struct Case {
    const char* path;
    int error;
  } const cases[] = {{"/dev/missing", ENOENT}, {"/dev/file", ENODEV}, {"/dev/folder", ENODEV}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    errno = 0;
    EXPECT_EQ(Device::open(c.path, O_RDWR), -1);
    EXPECT_EQ(errno, c.error);
  }
}

TEST_F(DeviceSeam, SimulatorGoneAwayFailsAtOnce) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
  Fd ours(pair[0]), theirs(pair[1]);
  silent_socket("hal").close();  // a socket file nobody listens on any more
  errno = 0;
  EXPECT_EQ(Device::open("/dev/hal", O_RDWR), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  errno = 0;
  EXPECT_EQ(Device::ioctl(ours.get(), 0x1234, 1ul), -1);
  EXPECT_EQ(errno, ENOENT);  // no request socket at all
}

// Waits 2 s of real time: the one bound on a silent simulator, which must not hang the daemon.
TEST_F(DeviceSeam, SilentSimulatorTimesOutInTwoSeconds) {
  Fd board = silent_socket(".board");
  Fd device = silent_socket("mute");
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
  Fd ours(pair[0]), theirs(pair[1]);

  int open_result = 0, open_error = 0;
  std::thread opener([&] {
    open_result = Device::open("/dev/mute", O_RDWR);
    open_error = errno;
  });
  uint32_t record = 7;
  errno = 0;
  int result = Device::ioctl(ours.get(), 0xc0045301, &record, sizeof record);
  int error = errno;
  opener.join();

  EXPECT_EQ(result, -1);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_EQ(open_result, -1);
  EXPECT_EQ(open_error, ETIMEDOUT);
}

}  // namespace
