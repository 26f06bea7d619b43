// Mixer::MixerFactory: makes the mixer slots (create alternatives mixerOut and mixerIn) on the
// units the last resource report enumerated, and reports the units. Log header "mixer: ".
#pragma once

#include <vector>

#include "slotbase/slot_factory.h"

namespace Mixer {

class Mixer;

class MixerFactory : public SlotFactory {
 public:
  static constexpr unsigned kMaxUnits = 100;

  static MixerFactory& instance();
  ~MixerFactory() override;

  const char* GetName() const override { return "Mixer"; }
  void PutHeader(std::ostream& os) const override { os << "mixer: "; }
  // A slot on a listed unit; null (logged) for a unit not listed or parameters it cannot serve.
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  // The factory's lines and every unit's.
  void FlushLogs() override;
  // Enumerates the units again and reports each.
  void Query(LGCP::Resources& report) override;

  // Lists the units the driver has now, at most 100: new ones are reset, vanished ones
  // cleared.
  void RefreshResources();
  // The unit listed under `unit`; null when there is none.
  Mixer* findMixer(int unit) const;

  std::vector<Mixer*> units;
  // The smallest TDM channel count and summator input count of the units last enumerated; -1
  // before the first enumeration and when it found none.
  int tdm_channels = -1;
  int mixer_inputs = -1;
};

}  // namespace Mixer
