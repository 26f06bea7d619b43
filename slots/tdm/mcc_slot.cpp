#include "slots/tdm/mcc_slot.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/ext_header.h"
#include "hw/hw_mux.h"

MccSlot::MccSlot(Fd fd, int switch_channel) : channel(switch_channel) {
  event.Bind("MccSlot::OnEvent", &MccSlot::OnEvent, this);
  event.Schedule(std::move(fd), POLLIN);
}

MccSlot::~MccSlot() {
  HwMux::instance().Release(channel);
  event.Release();
}

bool MccSlot::IUserData(const std::vector<char>& data) {
  if (data.size() > kMaxFrame) {
    refusalLogs.write(std::cerr, "userData refused, too long for a frame", [&](std::ostream& os) {
      os << ext::header(this) << "userData of " << data.size() << " bytes refused, a frame carries "
         << kMaxFrame << " at most";
    });
    return false;
  }
  const ssize_t n = ::write(event.fd().get(), data.data(), data.size());
  if (n == static_cast<ssize_t>(data.size())) return true;
  const int error = errno;
  refusalLogs.write(std::cerr, "write fail", [&](std::ostream& os) {
    os << ext::header(this) << "write fail: ";
    if (n < 0)
      os << std::strerror(error);
    else
      os << n << " of " << data.size() << " bytes";
  });
  return false;
}

void MccSlot::OnEvent(int, short events) {
  if (events & POLLIN) DoRead();
  if (events & (POLLERR | POLLHUP)) {
    // The driver lost the channel: nothing more will come, and polling it again would spin.
    std::cerr << *this << ": channel lost" << std::endl;
    event.Release();
  }
}

void MccSlot::DoRead() {
  char buffer[kMaxFrame];
  for (;;) {
    const ssize_t n = ::read(event.fd().get(), buffer, sizeof buffer);
    if (n > 0) {
      OnUserData(std::vector<char>(buffer, buffer + n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      const int error = errno;
      refusalLogs.write(std::cerr, "read fail", [&](std::ostream& os) {
        os << ext::header(this) << "read fail: " << std::strerror(error);
      });
    }
    return;  // drained (EAGAIN), end of file, or a failure
  }
}
