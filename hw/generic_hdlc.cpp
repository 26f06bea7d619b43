#include "hw/generic_hdlc.h"

#include <cstring>
#include <vector>

#include "base/device.h"
#include "hw/generic_hdlc_records.h"

namespace GenericHdlc {

namespace {

net_ifreq request_for(const std::string& name) {
  net_ifreq r;
  std::memset(&r, 0, sizeof r);
  std::strncpy(r.name, name.c_str(), sizeof r.name - 1);
  return r;
}

bool call(const Fd& socket, uint32_t request, net_ifreq& r) {
  return Device::ioctl(socket.get(), request, &r, sizeof r) >= 0;
}

}  // namespace

Fd open_socket() { return Fd(Device::net_socket()); }

bool get_index(const Fd& socket, const std::string& name, int& index) {
  net_ifreq r = request_for(name);
  if (!call(socket, NetIoctl::kGetIndex, r)) return false;
  index = r.u.index;
  return true;
}

bool get_flags(const Fd& socket, const std::string& name, uint16_t& flags) {
  net_ifreq r = request_for(name);
  if (!call(socket, NetIoctl::kGetFlags, r)) return false;
  flags = static_cast<uint16_t>(r.u.flags);
  return true;
}

bool set_flags(const Fd& socket, const std::string& name, uint16_t flags) {
  net_ifreq r = request_for(name);
  r.u.flags = static_cast<int16_t>(flags);
  return call(socket, NetIoctl::kSetFlags, r);
}

bool wan(const Fd& socket, const std::string& name, uint32_t type, void* buffer, uint32_t size) {
  net_ifreq r = request_for(name);
  r.u.settings.type = type;
  r.u.settings.size = size;
  if (!Device::simulated(socket.get())) {
    r.u.settings.pointer = reinterpret_cast<uintptr_t>(buffer);
    return call(socket, NetIoctl::kWanDev, r);
  }
  // The simulated board gets the settings' bytes right behind the record.
  std::vector<unsigned char> record(sizeof r + size);
  std::memcpy(record.data(), &r, sizeof r);
  if (size) std::memcpy(record.data() + sizeof r, buffer, size);
  if (Device::ioctl(socket.get(), NetIoctl::kWanDev, record.data(), record.size()) < 0) {
    return false;
  }
  if (size) std::memcpy(buffer, record.data() + sizeof r, size);
  return true;
}

}  // namespace GenericHdlc
