// The requests and records of the conference mixers, /dev/mixer (type character 'M'). Records
// are 32-bit signed words in the processor's byte order. Each request goes on a fresh open.
#pragma once

#include <cstddef>
#include <cstdint>

namespace MixerIoctl {
constexpr uint32_t kRxClear = 0x800c4d02;    // mix_slot of a summator: removes all its inputs
constexpr uint32_t kRxAdd = 0x801c4d03;      // mix_summator: adds tx to the rx summator
constexpr uint32_t kRxRemove = 0x801c4d04;   // mix_summator: removes tx from the rx summator
constexpr uint32_t kTdm = 0x800c4d06;        // mix_slot; result: the channel's switch channel
constexpr uint32_t kEnumerate = 0x80104d07;  // mix_unit_info: the unit after dev_no; -1 after last
}  // namespace MixerIoctl

// One channel of a unit; type 0 is a TDM channel, the only one used.
struct mix_slot {
  int32_t dev_no;
  int32_t type;
  int32_t number;
};

// A summator request: rx the summator (an output), tx the input, weight 32767 for full.
struct mix_summator {
  mix_slot rx;
  mix_slot tx;
  int32_t weight;
};

// Unit enumeration: dev_no in is the unit returned before (-1 for the first), out the next.
struct mix_unit_info {
  int32_t dev_no;
  int32_t tdm_channels;
  int32_t reserved;
  int32_t summator_inputs;
};

static_assert(sizeof(mix_slot) == 12, "mix_slot");
static_assert(sizeof(mix_summator) == 28, "mix_summator");
static_assert(offsetof(mix_summator, tx) == 12, "tx");
static_assert(offsetof(mix_summator, weight) == 24, "weight");
static_assert(sizeof(mix_unit_info) == 16, "mix_unit_info");
static_assert(offsetof(mix_unit_info, summator_inputs) == 12, "summator_inputs");
