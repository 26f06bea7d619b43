#include "hw/mcc_channel.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"

Fd OpenMccChannel(const std::string& header, int flags, mcc_allocation allocation,
                  const std::string& open_failure) {
  Fd fd(Device::open(GetMccDevName(), flags));
  if (!fd) {
    std::cerr << header << open_failure << std::strerror(errno) << std::endl;
    return fd;
  }
  if (Device::ioctl(fd.get(), MccIoctl::kAllocate, &allocation, sizeof allocation) < 0) {
    std::cerr << header << "MCC_ALLOCATE fail: " << std::strerror(errno) << std::endl;
    return Fd();
  }
  return fd;
}
