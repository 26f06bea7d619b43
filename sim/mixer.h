// MixerModel: the model of /dev/mixer, the board's conference mixer units. A unit has TDM
// channels (as many inputs as outputs) and per output a summator of weighted inputs, up to its
// summator input count. There are none at start.
//
// MIX_TDM gives each unit channel a switch channel of its own, from 2048 on, kept for the
// simulator's life. The enumeration answers the first unit after the dev_no it is given and
// fails with ENODEV after the last. Requests naming a unit that does not exist fail with ENODEV,
// a channel out of range with EINVAL; an add beyond the summator's inputs with ENOSPC, a removal
// of an input not added with ENOENT.
//
// Control:
//   mixer add DEV TDM SUMMATORS   a unit (replacing one of that number)
//   mixer remove DEV              the unit goes away
//   mixer summator DEV OUT        list: "INPUT WEIGHT" for every input of that summator
//   mixer tdm DEV N               the switch channel of channel N of unit DEV, as MIX_TDM gives
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "hw/mixer_records.h"
#include "sim/device_model.h"

class MixerModel : public DeviceModel {
 public:
  static constexpr int32_t kFirstChannel = 2048;

  MixerModel() : DeviceModel("mixer") {}

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Unit {
    int32_t tdm;
    int32_t summator_inputs;
    std::map<int32_t, std::map<int32_t, int32_t>> summators;  // output -> input -> weight
  };

  // The unit and channel a mix_slot names: 0, or the errno refusing it.
  int check(const mix_slot& slot, Unit*& unit);
  IoctlResult summator(uint32_t request, IoctlCall& call);
  // The switch channel of a unit's channel, given on first use and kept.
  int32_t channel(int32_t dev, int32_t number);

  std::map<int32_t, Unit> units_;
  std::map<std::pair<int32_t, int32_t>, int32_t> channels_;  // (unit, number) -> switch channel
};
