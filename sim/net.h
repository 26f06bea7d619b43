// Net: the model of the kernel's generic-HDLC network interfaces, reached through /dev/net in
// place of a datagram socket (the daemon's seam sends its interface requests there when a root
// is set). An interface is offered by `net hdlc N CHANNEL`: "hdlcN", point-to-point, running
// raw HDLC, its line on switch channel CHANNEL (the slot map that IF_GET_IFACE answers).
//
// Control:
//   net hdlc N CHANNEL   offers hdlcN (again: the channel changes)
//   net show             list: "hdlcN flags=0xF proto=hdlc|ppp channel=C" for every interface
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "hw/generic_hdlc_records.h"
#include "sim/device_model.h"

class Net : public DeviceModel {
 public:
  Net() : DeviceModel("net") {}

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Interface {
    uint16_t flags = NetFlags::kPointToPoint;
    bool ppp = false;
    uint32_t channel = 0;
  };

  IoctlResult wan(Interface& iface, net_ifreq& r, std::string& settings);

  std::map<std::string, Interface> interfaces_;
};
