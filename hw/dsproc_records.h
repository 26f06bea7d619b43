// The requests, records and events of the DSP voice-processing device /dev/dsp (type character
// 'd'), in the processor's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace DsprocIoctl {
constexpr uint32_t kConfigure = 0x40146401;  // dsproc_configure
constexpr uint32_t kEnable = 0x400c6402;     // dsproc_feature
constexpr uint32_t kDisable = 0x400c6403;    // dsproc_feature, id 0
constexpr uint32_t kVersion = 0x40046404;    // argument 0 by value; the result is the version
}  // namespace DsprocIoctl

// Feature masks of enable and disable; also the types of events.
namespace DsprocFeature {
constexpr uint32_t kVAD = 1;
constexpr uint32_t kSD = 2;
constexpr uint32_t kMuteRx = 4;
constexpr uint32_t kMuteTx = 8;
constexpr uint32_t kBSS = 16;
constexpr uint32_t kNG = 128;
constexpr uint32_t kToneFilter = 256;
constexpr uint32_t kFlags = 512;  // event type only
}  // namespace DsprocFeature

// Bits of a flags event's flags and mask: the mask tells which of the flags the event reports.
namespace DsprocFlag {
constexpr uint32_t kVadRx = 1u << 29;
constexpr uint32_t kVadTx = 1u << 30;
constexpr uint32_t kSelcal = 1u << 31;  // a Selcal code is being dialled
}  // namespace DsprocFlag

// What a configure record sets; the parameters' layout depends on it.
namespace DsprocConfigure {
constexpr uint32_t kVAD = 1;
constexpr uint32_t kSD = 2;  // no parameters
constexpr uint32_t kDelays = 32;
constexpr uint32_t kRxGain = 64;
constexpr uint32_t kToneFilter = 256;
}  // namespace DsprocConfigure

struct dsproc_configure {
  uint32_t ts;
  uint32_t what;
  uint8_t params[12];  // one of the parameter records below, zero beyond it
};

// VAD with interface version 2.
struct dsproc_vad_v2_params {
  uint16_t voice_th_msec;
  uint16_t silence_th_msec;
  uint8_t e_th_dB;
};

// VAD with any other interface version: always {3, 127, 0}.
struct dsproc_vad_v1_params {
  uint32_t p1;
  uint32_t p2;
  uint32_t p3;
};

struct dsproc_delays_params {
  uint32_t rx;
  uint32_t tx;
  uint32_t selcal;
};

struct dsproc_rx_gain_params {
  int8_t gain_dB;
};

struct dsproc_tone_filter_params {
  uint16_t freq;
  uint8_t enable;
  uint8_t reserved;
  uint16_t duration_th_msec;
  int8_t det_lvl_dB;
};

// Enable (with a fresh id echoed in the feature's events) or disable (id 0).
struct dsproc_feature {
  uint32_t ts;
  uint32_t id;
  uint32_t mask;
};

// One event, one record per read; the payload is w0, w1, w2.
struct dsproc_event_record {
  uint32_t timeslot;
  uint32_t id;
  uint32_t type;
  uint32_t w0;
  int32_t w1;
  int32_t w2;
};

// Payloads of the event types, as handed to the receivers.
struct dsproc_bss_event {
  float score;
  int32_t w1;
  int32_t w2;
};

struct dsproc_tone_event {
  uint32_t w0;
  int32_t w1;
  int32_t w2;
};

struct dsproc_flags_event {
  uint32_t flags;
  uint32_t mask;
};

static_assert(sizeof(dsproc_configure) == 20, "dsproc_configure");
static_assert(offsetof(dsproc_configure, what) == 4, "what");
static_assert(offsetof(dsproc_configure, params) == 8, "params");
static_assert(sizeof(dsproc_vad_v2_params) == 6, "dsproc_vad_v2_params");
static_assert(offsetof(dsproc_vad_v2_params, silence_th_msec) == 2, "silence_th_msec");
static_assert(offsetof(dsproc_vad_v2_params, e_th_dB) == 4, "e_th_dB");
static_assert(sizeof(dsproc_vad_v1_params) == 12, "dsproc_vad_v1_params");
static_assert(sizeof(dsproc_delays_params) == 12, "dsproc_delays_params");
static_assert(offsetof(dsproc_delays_params, tx) == 4, "tx");
static_assert(offsetof(dsproc_delays_params, selcal) == 8, "selcal");
static_assert(sizeof(dsproc_rx_gain_params) == 1, "dsproc_rx_gain_params");
static_assert(sizeof(dsproc_tone_filter_params) == 8, "dsproc_tone_filter_params");
static_assert(offsetof(dsproc_tone_filter_params, enable) == 2, "enable");
static_assert(offsetof(dsproc_tone_filter_params, duration_th_msec) == 4, "duration_th_msec");
static_assert(offsetof(dsproc_tone_filter_params, det_lvl_dB) == 6, "det_lvl_dB");
static_assert(sizeof(dsproc_feature) == 12, "dsproc_feature");
static_assert(offsetof(dsproc_feature, id) == 4, "id");
static_assert(offsetof(dsproc_feature, mask) == 8, "mask");
static_assert(sizeof(dsproc_event_record) == 24, "dsproc_event_record");
static_assert(offsetof(dsproc_event_record, id) == 4, "id");
static_assert(offsetof(dsproc_event_record, type) == 8, "type");
static_assert(offsetof(dsproc_event_record, w0) == 12, "w0");
static_assert(offsetof(dsproc_event_record, w1) == 16, "w1");
static_assert(offsetof(dsproc_event_record, w2) == 20, "w2");
static_assert(sizeof(dsproc_bss_event) == 12, "dsproc_bss_event");
static_assert(sizeof(dsproc_tone_event) == 12, "dsproc_tone_event");
static_assert(sizeof(dsproc_flags_event) == 8, "dsproc_flags_event");
