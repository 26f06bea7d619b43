// The requests, records and events of the DSP tone device /dev/dtmf (type character 'B').
// Records are passed by address in the processor's byte order; the requests marked "by value"
// take the time slot itself as their argument.
#pragma once

#include <cstddef>
#include <cstdint>

namespace TonecIoctl {
constexpr uint32_t kConfigureDetector = 0x40144202;  // dtmf_detector_config
constexpr uint32_t kEnableDetector = 0x40084203;     // dtmf_detector_enable
constexpr uint32_t kDisableDetector = 0x40044204;    // time slot by value
constexpr uint32_t kDial = 0x400c4205;               // tone_gen_params
constexpr uint32_t kLmsOn = 0x40044206;              // echo canceller on, time slot by value
constexpr uint32_t kLmsOff = 0x40044207;             // echo canceller off, time slot by value
constexpr uint32_t kRejectionEnable = 0x40044209;    // time slot by value
constexpr uint32_t kRejectionDisable = 0x4004420a;   // time slot by value
constexpr uint32_t kIvaEnable = 0x4004420b;          // time slot by value
constexpr uint32_t kIvaDisable = 0x4004420c;         // time slot by value
constexpr uint32_t kIvaConfigure = 0x4008420d;       // iva_detector_config
constexpr uint32_t kSelcalDial = 0x400c420e;         // selcal_dial_params
}  // namespace TonecIoctl

struct dtmf_detector_config {
  uint32_t ts;
  uint32_t twist;
  uint32_t ratio;
  uint32_t silence;
  uint32_t noise;
};

struct dtmf_detector_enable {
  uint32_t ts;
  uint32_t id;  // echoed in every event of this detector
};

// Dual-tone generator; (0, 0, 0, 0) switches it off.
struct tone_gen_params {
  uint32_t ts;
  uint16_t freq1;
  uint16_t freq2;
  uint16_t level1;
  uint16_t level2;
};

struct iva_detector_config {
  uint32_t ts;
  uint32_t det_lvl_dB;  // the signed level, as its 32-bit pattern
};

struct selcal_dial_params {
  uint32_t ts;
  uint16_t amp;
  char signs[4];
  uint16_t reserved;  // 0
};

// One detector event, one record per read.
struct tonec_event_record {
  uint32_t code;
  uint32_t timeslot;
  uint32_t timestamp;
  uint32_t id;
};

static_assert(sizeof(dtmf_detector_config) == 20, "dtmf_detector_config");
static_assert(offsetof(dtmf_detector_config, twist) == 4, "twist");
static_assert(offsetof(dtmf_detector_config, ratio) == 8, "ratio");
static_assert(offsetof(dtmf_detector_config, silence) == 12, "silence");
static_assert(offsetof(dtmf_detector_config, noise) == 16, "noise");
static_assert(sizeof(dtmf_detector_enable) == 8, "dtmf_detector_enable");
static_assert(offsetof(dtmf_detector_enable, id) == 4, "id");
static_assert(sizeof(tone_gen_params) == 12, "tone_gen_params");
static_assert(offsetof(tone_gen_params, freq1) == 4, "freq1");
static_assert(offsetof(tone_gen_params, freq2) == 6, "freq2");
static_assert(offsetof(tone_gen_params, level1) == 8, "level1");
static_assert(offsetof(tone_gen_params, level2) == 10, "level2");
static_assert(sizeof(iva_detector_config) == 8, "iva_detector_config");
static_assert(offsetof(iva_detector_config, det_lvl_dB) == 4, "det_lvl_dB");
static_assert(sizeof(selcal_dial_params) == 12, "selcal_dial_params");
static_assert(offsetof(selcal_dial_params, amp) == 4, "amp");
static_assert(offsetof(selcal_dial_params, signs) == 6, "signs");
static_assert(offsetof(selcal_dial_params, reserved) == 10, "reserved");
static_assert(sizeof(tonec_event_record) == 16, "tonec_event_record");
static_assert(offsetof(tonec_event_record, timeslot) == 4, "timeslot");
static_assert(offsetof(tonec_event_record, timestamp) == 8, "timestamp");
static_assert(offsetof(tonec_event_record, id) == 12, "id");
