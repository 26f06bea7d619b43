#include "slots/tdm/mixer_factory.h"

#include <algorithm>
#include <iostream>

#include "slots/tdm/mixer_unit.h"

namespace Mixer {

namespace {

constexpr int kDpuPerMixer = 770;
constexpr int kDpuPerEc = 17;
constexpr int kDpuPerLms = 24;

void lower(int& count, int32_t found) {
  if (count < 0 || found < count) count = found;
}

}  // namespace

MixerFactory& MixerFactory::instance() {
  static MixerFactory factory;
  return factory;
}

MixerFactory::~MixerFactory() {
  // A unit whose slots are still there is theirs to delete.
  for (Mixer* m : units) {
    m->stale = true;
    m->CheckForDestroy();
  }
}

Mixer* MixerFactory::findMixer(int unit) const {
  for (Mixer* m : units) {
    if (!m->stale && m->unit == unit) return m;
  }
  return nullptr;
}

void MixerFactory::FlushLogs() {
  SlotFactory::FlushLogs();
  for (Mixer* m : units) m->FlushLogs();
}

Slot* MixerFactory::INewSlot(const LGCP::CreateParams& params) {
  const bool out = params.currentSelection() == LGCP::CreateParams::e_mixerOut;
  if (!out && params.currentSelection() != LGCP::CreateParams::e_mixerIn) return nullptr;
  const int unit = out ? params.get_mixerOut().get_unit().getValue()
                       : params.get_mixerIn().get_unit().getValue();
  Mixer* m = findMixer(unit);
  if (!m) {
    refusalLogs.write(std::cerr, this, "no unit ", unit);
    return nullptr;
  }
  return out ? m->New(params.get_mixerOut()) : m->New(params.get_mixerIn());
}

void MixerFactory::RefreshResources() {
  for (Mixer* m : units) m->stale = true;
  tdm_channels = -1;
  mixer_inputs = -1;
  mix_unit_info info{-1, 0, 0, 0};
  for (unsigned listed = 0; listed < kMaxUnits; ++listed) {
    if (mixer_ctl(MixerIoctl::kEnumerate, &info, sizeof info) < 0) break;
    lower(tdm_channels, info.tdm_channels);
    lower(mixer_inputs, info.summator_inputs);
    auto known =
        std::find_if(units.begin(), units.end(), [&](Mixer* m) { return m->unit == info.dev_no; });
    if (known != units.end()) {
      (*known)->stale = false;
    } else {
      units.push_back(new Mixer(*this, info.dev_no));
      units.back()->Reset(info.tdm_channels);
    }
  }
  std::vector<Mixer*> vanished;
  for (Mixer* m : units) {
    if (m->stale) vanished.push_back(m);
  }
  units.erase(std::remove_if(units.begin(), units.end(), [](Mixer* m) { return m->stale; }),
              units.end());
  for (Mixer* m : vanished) m->Clear();
}

void MixerFactory::Query(LGCP::Resources& report) {
  RefreshResources();
  auto& list = report.get_mixer();
  list.clear();
  for (Mixer* m : units) {
    LGCP::MixerResources_subtype entry;
    entry.get_unit() = m->unit;
    entry.get_tdm_inputs() = std::max(tdm_channels, 0);
    entry.get_tdm_outputs() = std::max(tdm_channels, 0);
    entry.get_mixer_inputs() = std::max(mixer_inputs, 0);
    entry.get_dpu_per_mixer() = kDpuPerMixer;
    entry.get_dpu_per_ec() = kDpuPerEc;
    entry.get_dpu_per_lms() = kDpuPerLms;
    list.push_back(entry);
  }
}

}  // namespace Mixer
