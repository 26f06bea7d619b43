#include "sim/dtmf.h"

#include <cerrno>

#include "hw/tonec_records.h"
#include "sim/record.h"

namespace {

struct RequestInfo {
  uint32_t request;
  const char* name;
  size_t size;  // 0: the argument is the time slot by value
};

const RequestInfo kRequests[] = {
    {TonecIoctl::kConfigureDetector, "DTMF_CONFIGURE_DETECTOR", sizeof(dtmf_detector_config)},
    {TonecIoctl::kEnableDetector, "DTMF_ENABLE_DETECTOR", sizeof(dtmf_detector_enable)},
    {TonecIoctl::kDisableDetector, "DTMF_DISABLE_DETECTOR", 0},
    {TonecIoctl::kDial, "DTMF_DIAL", sizeof(tone_gen_params)},
    {TonecIoctl::kLmsOn, "CHANNEL_LMS_ON", 0},
    {TonecIoctl::kLmsOff, "CHANNEL_LMS_OFF", 0},
    {TonecIoctl::kRejectionEnable, "DTMF_REJECTION_ENABLE", 0},
    {TonecIoctl::kRejectionDisable, "DTMF_REJECTION_DISABLE", 0},
    {TonecIoctl::kIvaEnable, "IVA_DETECTOR_ENABLE", 0},
    {TonecIoctl::kIvaDisable, "IVA_DETECTOR_DISABLE", 0},
    {TonecIoctl::kIvaConfigure, "IVA_CONFIGURE_DETECTOR", sizeof(iva_detector_config)},
    {TonecIoctl::kSelcalDial, "SELCAL_DIAL", sizeof(selcal_dial_params)},
};

const RequestInfo* info(uint32_t request) {
  for (const RequestInfo& r : kRequests) {
    if (r.request == request) return &r;
  }
  return nullptr;
}

// Whether the call's argument has the request's form.
bool well_formed(const RequestInfo& r, const IoctlCall& call) {
  return r.size == 0 ? !call.has_record : call.has_record && call.bytes.size() == r.size;
}

std::string n(uint32_t v) { return std::to_string(v); }

std::string tone_fields(const tone_gen_params& tone) {
  return "freq1=" + n(tone.freq1) + " freq2=" + n(tone.freq2) + " level1=" + n(tone.level1) +
         " level2=" + n(tone.level2);
}

// The fields of a well-formed call.
std::string fields(const IoctlCall& call) {
  dtmf_detector_config config;
  dtmf_detector_enable enable;
  tone_gen_params tone;
  iva_detector_config iva;
  selcal_dial_params selcal;
  switch (call.request) {
    case TonecIoctl::kConfigureDetector:
      read_record(call, config);
      return "ts=" + n(config.ts) + " twist=" + n(config.twist) + " ratio=" + n(config.ratio) +
             " silence=" + n(config.silence) + " noise=" + n(config.noise);
    case TonecIoctl::kEnableDetector:
      read_record(call, enable);
      return "ts=" + n(enable.ts) + " id=" + n(enable.id);
    case TonecIoctl::kDial:
      read_record(call, tone);
      return "ts=" + n(tone.ts) + " " + tone_fields(tone);
    case TonecIoctl::kIvaConfigure:
      read_record(call, iva);
      return "ts=" + n(iva.ts) +
             " det_lvl_dB=" + std::to_string(static_cast<int32_t>(iva.det_lvl_dB));
    case TonecIoctl::kSelcalDial:
      read_record(call, selcal);
      return "ts=" + n(selcal.ts) + " amp=" + n(selcal.amp) + " signs=" +
             printable(std::string(selcal.signs, sizeof selcal.signs)) +
             " reserved=" + n(selcal.reserved);
  }
  return "ts=" + std::to_string(call.value);
}

}  // namespace

IoctlResult Dtmf::on_ioctl(Session&, IoctlCall& call) {
  const RequestInfo* r = info(call.request);
  if (!r) return {-1, ENOTTY};
  if (!well_formed(*r, call)) return {-1, EINVAL};
  dtmf_detector_enable enable;
  tone_gen_params tone;
  if (call.request == TonecIoctl::kEnableDetector && read_record(call, enable)) {
    detectors_[enable.ts] = enable.id;
  } else if (call.request == TonecIoctl::kDial && read_record(call, tone)) {
    if (tone.freq1 || tone.freq2 || tone.level1 || tone.level2) {
      tones_[tone.ts] = tone;
    } else {
      tones_.erase(tone.ts);
    }
  } else if (call.request == TonecIoctl::kDisableDetector) {
    detectors_.erase(static_cast<uint32_t>(call.value));
  }
  return {0, 0};
}

std::string Dtmf::decode(const IoctlCall& call) const {
  const RequestInfo* r = info(call.request);
  if (!r || !well_formed(*r, call)) return "";
  return std::string(r->name) + " " + fields(call);
}

void Dtmf::send_event(uint32_t code, uint32_t timeslot, uint32_t timestamp, uint32_t id) {
  broadcast(record_bytes(tonec_event_record{code, timeslot, timestamp, id}));
}

bool Dtmf::command(const Words& words, Reply& reply) {
  if (words[0] != "dtmf") return false;
  const char* usage =
      "usage: dtmf event CODE TIMESLOT TIMESTAMP ID | dtmf digit TIMESLOT CODE | dtmf raw HEX | "
      "dtmf tone TIMESLOT";
  uint32_t v[4];
  std::string bytes;
  reply = Reply::ok();
  if (words.size() == 6 && words[1] == "event" && parse_u32(words[2], v[0]) &&
      parse_u32(words[3], v[1]) && parse_u32(words[4], v[2]) && parse_u32(words[5], v[3])) {
    send_event(v[0], v[1], v[2], v[3]);
  } else if (words.size() == 4 && words[1] == "digit" && parse_u32(words[2], v[0]) &&
             parse_u32(words[3], v[1])) {
    auto it = detectors_.find(v[0]);
    if (it == detectors_.end()) {
      reply = Reply::error("no detector enabled on time slot " + words[2]);
    } else {
      send_event(v[1], v[0], 0, it->second);
    }
  } else if (words.size() == 3 && words[1] == "raw" && parse_hex_bytes(words[2], bytes)) {
    broadcast(bytes);
  } else if (words.size() == 3 && words[1] == "tone" && parse_u32(words[2], v[0])) {
    auto it = tones_.find(v[0]);
    reply = Reply::line(it == tones_.end() ? "off" : tone_fields(it->second));
  } else {
    reply = Reply::error(usage);
  }
  return true;
}
