#include "slots/media/modem_pool.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/device.h"
#include "hw/mctl_records.h"

ModemPool::Mark ModemPool::mark(int modem) {
  Mark m = std::make_shared<const int>(modem);
  marks_.push_back(m);
  return m;
}

bool ModemPool::marked(int modem) {
  marks_.remove_if([](const std::weak_ptr<const int>& m) { return m.expired(); });
  return std::any_of(marks_.begin(), marks_.end(), [&](const std::weak_ptr<const int>& m) {
    const Mark held = m.lock();
    return held && *held == modem;
  });
}

int ModemPool::allocate(Fd& device, const char* path) {
  // Each modem set aside stays held until the allocation is over, so the driver gives another.
  std::vector<Fd> aside;
  const auto done = [&](int result, int error) {
    aside.clear();
    errno = error;
    return result;
  };
  for (size_t tries = 0;; ++tries) {
    const int number = Device::ioctl(device.get(), MctlIoctl::kAllocate, 0ul);
    if (number < 0 || !marked(number)) return done(number, errno);
    // A driver that gives a marked modem more often than there are marks gives no other.
    if (tries >= marks_.size()) return done(-1, EBUSY);
    aside.push_back(std::move(device));
    device = Fd(Device::open(path, O_RDONLY));
    if (!device) return done(-1, errno);
  }
}
