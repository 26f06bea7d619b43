// The requests and records of the DSP data driver, /dev/dsp-data (type character 'B'): each open
// is one QSIG D channel, read and written one frame per call, on which the bearer channels of
// that link are added and removed. Records are 32-bit words in the processor's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace DspDataIoctl {
constexpr uint32_t kChannelId = 0x40044211;  // int32 out; result: the D channel's switch channel
constexpr uint32_t kAddB = 0x8008420f;       // dsp_data_bchannel, time slot filled
constexpr uint32_t kRemoveB = 0x80044210;    // int32 index
}  // namespace DspDataIoctl

// The bearer channels of one D channel are numbered 0 to kDspDataBChannels - 1.
constexpr int32_t kDspDataBChannels = 3;

struct dsp_data_bchannel {
  int32_t index;
  int32_t timeslot;  // -1 on the way in; the driver's time slot on the way out
};

static_assert(sizeof(dsp_data_bchannel) == 8, "dsp_data_bchannel");
static_assert(offsetof(dsp_data_bchannel, timeslot) == 4, "timeslot");
