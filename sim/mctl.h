// Mctl: the model of /dev/mctl, the modem controller of the board's DSP modem pool (4 modems at
// start). Each open allocates at most one modem (freed when the open closes); every modem has a
// switch channel of its own, 1536 + its number. The per-modem requests name the modem by number
// and must come on the open that holds it.
//
// Control:
//   mctl modems N     the pool has modems 0 to N-1 (modems held stay held)
//   mctl show         list: "N ts=T free|held ddm=F dmp=O:V,... state=S" for every modem
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hw/mctl_records.h"
#include "sim/device_model.h"

class Mctl : public DeviceModel {
 public:
  static constexpr uint32_t kFirstChannel = 1536;

  Mctl() : DeviceModel("mctl") {}

  void on_close(Session& session) override;
  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Modem {
    Session* holder = nullptr;
    uint32_t ddm = 0;
    std::map<int32_t, int32_t> dmp;
    std::string state = "idle";
  };

  // The modem `number` held by `session`, or null.
  Modem* held(Session& session, int32_t number);
  IoctlResult modem_request(Session& session, IoctlCall& call);

  std::vector<Modem> modems_ = std::vector<Modem>(4);
};
