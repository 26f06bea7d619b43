#include "slotbase/switch_channels.h"

#include <iterator>

SwitchChannels& SwitchChannels::instance() {
  static SwitchChannels channels;
  return channels;
}

Slot* SwitchChannels::Holder(Use use, int channel) const {
  const auto found = holders_.find({use, channel});
  return found == holders_.end() ? nullptr : found->second;
}

bool SwitchChannels::Claim(Use use, int channel, Slot& slot) {
  Slot*& holder = holders_[{use, channel}];
  if (holder && holder != &slot) return false;
  holder = &slot;
  return true;
}

bool SwitchChannels::Release(Use use, int channel, Slot& slot) {
  const auto found = holders_.find({use, channel});
  if (found == holders_.end() || found->second != &slot) return false;
  holders_.erase(found);
  return true;
}

void SwitchChannels::Release(Use use, Slot& slot) {
  for (auto it = holders_.begin(); it != holders_.end();) {
    it = it->first.first == use && it->second == &slot ? holders_.erase(it) : std::next(it);
  }
}

void SwitchChannels::ReleaseAll(Slot& slot) {
  for (auto it = holders_.begin(); it != holders_.end();) {
    it = it->second == &slot ? holders_.erase(it) : std::next(it);
  }
}
