// The device seam without a simulator: character devices go to the kernel, other files are
// refused.
#include "base/device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "base/fd.h"
#include "tests/support/temp_root.h"

namespace {

class DeviceSeam : public ::testing::Test {
 protected:
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

}  // namespace
