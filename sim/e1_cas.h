// E1Cas: the model of /dev/e1-cas, channel-associated signalling on the E1 trunks 0 to 3. A
// trunk is opened for CAS, then its channels (time slots 1 to 31 but 16); an open channel sends
// the ABCD bits the daemon gives it and reports the bits received. Every change of the received
// bits of an open channel is one 12-byte event record {trunk, timeslot, rx, tx} for every open
// session. Refusals: EINVAL for a bad trunk, time slot, operation or record size; ENXIO for a
// channel on a trunk not open, or bits of a channel not open.
//
// Control:
//   cas trunk T             "open" or "closed"
//   cas channel T TS        "open rx=0xN tx=0xN" or "closed rx=0xN"
//   cas rx T TS BITS        the ABCD bits received on T/TS become BITS (0 to 15); an event
//                           when the channel is open and they changed
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "hw/e1_records.h"
#include "sim/device_model.h"

class E1Cas : public DeviceModel {
 public:
  static constexpr uint32_t kTrunks = 4;

  E1Cas() : DeviceModel("e1-cas") {}

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Line {
    bool open = false;
    uint8_t rx = 0;
    uint8_t tx = 0;
  };
  using Key = std::pair<uint32_t, uint32_t>;  // trunk, time slot

  IoctlResult trunk_request(const IoctlCall& call);
  IoctlResult channel_request(IoctlCall& call);
  // 0 when `c` names a channel that can carry CAS on an open trunk, else the errno.
  int check(const cas_channel& c) const;

  bool trunk_open_[kTrunks] = {};
  std::map<Key, Line> lines_;
};
