#include "sim/dsp.h"

#include <cerrno>

#include "hw/dsproc_records.h"
#include "sim/record.h"

namespace {

std::string n(int64_t v) { return std::to_string(v); }

std::string hex_of(const uint8_t* bytes, size_t size) {
  return hex_bytes(std::string(reinterpret_cast<const char*>(bytes), size));
}

// " extra=HEX" when any of the parameter bytes from `used` on is not zero.
std::string extra(const dsproc_configure& c, size_t used) {
  for (size_t i = used; i < sizeof c.params; ++i) {
    if (c.params[i] != 0) return " extra=" + hex_of(c.params + used, sizeof c.params - used);
  }
  return "";
}

template <class T>
T params(const dsproc_configure& c) {
  T p;
  std::memcpy(&p, c.params, sizeof p);
  return p;
}

}  // namespace

IoctlResult Dsp::on_ioctl(Session&, IoctlCall& call) {
  dsproc_configure configure;
  dsproc_feature feature;
  switch (call.request) {
    case DsprocIoctl::kVersion:
      if (call.has_record) break;
      return {static_cast<int>(version_), 0};
    case DsprocIoctl::kConfigure:
      if (!read_record(call, configure)) break;
      keep(configure);
      return {0, 0};
    case DsprocIoctl::kEnable:
    case DsprocIoctl::kDisable:
      if (!read_record(call, feature)) break;
      keep(call.request, feature);
      return {0, 0};
    default:
      return {-1, ENOTTY};
  }
  return {-1, EINVAL};
}

void Dsp::keep(const dsproc_configure& c) {
  Channel& channel = channels_[c.ts];
  switch (c.what) {
    case DsprocConfigure::kDelays: {
      auto p = params<dsproc_delays_params>(c);
      channel.delays[0] = p.rx;
      channel.delays[1] = p.tx;
      channel.delays[2] = p.selcal;
      break;
    }
    case DsprocConfigure::kRxGain:
      channel.rx_gain = params<dsproc_rx_gain_params>(c).gain_dB;
      break;
    case DsprocConfigure::kToneFilter: {
      auto p = params<dsproc_tone_filter_params>(c);
      if (p.enable) {
        channel.filters[p.freq] = "tone_filter freq=" + n(p.freq) + " dur_th_msec=" +
                                  n(p.duration_th_msec) + " det_lvl_dB=" + n(p.det_lvl_dB);
      } else {
        channel.filters.erase(p.freq);
      }
      break;
    }
  }
}

void Dsp::keep(uint32_t request, const dsproc_feature& f) {
  Channel& channel = channels_[f.ts];
  for (uint32_t bit = 1; bit && bit <= f.mask; bit <<= 1) {
    if (!(f.mask & bit)) continue;
    if (bit == DsprocFeature::kToneFilter) {
      if (request == DsprocIoctl::kDisable) channel.filters.clear();
    } else if (request == DsprocIoctl::kEnable) {
      channel.features[bit] = f.id;
    } else {
      channel.features.erase(bit);
    }
  }
}

std::vector<std::string> Dsp::state(uint32_t ts) const {
  std::vector<std::string> lines;
  auto found = channels_.find(ts);
  if (found == channels_.end()) return lines;
  const Channel& c = found->second;
  for (const auto& f : c.features) {
    lines.push_back("enabled mask=" + hex_number(f.first) + " id=" + n(f.second));
  }
  if (c.delays[0] || c.delays[1] || c.delays[2]) {
    lines.push_back("delays rx=" + n(c.delays[0]) + " tx=" + n(c.delays[1]) +
                    " selcal=" + n(c.delays[2]));
  }
  if (c.rx_gain) lines.push_back("rx_gain " + n(c.rx_gain));
  for (const auto& filter : c.filters) lines.push_back(filter.second);
  return lines;
}

std::string Dsp::configure_fields(const IoctlCall& call) const {
  dsproc_configure c;
  read_record(call, c);
  std::string ts = "CONFIGURE ts=" + n(c.ts);
  switch (c.what) {
    case DsprocConfigure::kVAD:
      if (call.layout == 2) {
        auto p = params<dsproc_vad_v2_params>(c);
        return ts + " VAD voice_th_msec=" + n(p.voice_th_msec) +
               " silence_th_msec=" + n(p.silence_th_msec) + " e_th_dB=" + n(p.e_th_dB) +
               extra(c, sizeof p);
      } else {
        auto p = params<dsproc_vad_v1_params>(c);
        return ts + " VAD " + n(p.p1) + " " + n(p.p2) + " " + n(p.p3);
      }
    case DsprocConfigure::kSD:
      return ts + " SD" + extra(c, 0);
    case DsprocConfigure::kDelays: {
      auto p = params<dsproc_delays_params>(c);
      return ts + " DELAYS rx=" + n(p.rx) + " tx=" + n(p.tx) + " selcal=" + n(p.selcal);
    }
    case DsprocConfigure::kRxGain: {
      auto p = params<dsproc_rx_gain_params>(c);
      return ts + " RX_GAIN gain_dB=" + n(p.gain_dB) + extra(c, sizeof p);
    }
    case DsprocConfigure::kToneFilter: {
      auto p = params<dsproc_tone_filter_params>(c);
      return ts + " TONE_FILTER freq=" + n(p.freq) + " en=" + n(p.enable) +
             " dur_th_msec=" + n(p.duration_th_msec) + " det_lvl_dB=" + n(p.det_lvl_dB) +
             (p.reserved ? " reserved=" + n(p.reserved) : "") + extra(c, sizeof p);
    }
  }
  return ts + " what=" + n(c.what) + " params=" + hex_of(c.params, sizeof c.params);
}

std::string Dsp::decode(const IoctlCall& call) const {
  dsproc_configure configure;
  dsproc_feature f;
  switch (call.request) {
    case DsprocIoctl::kVersion:
      return call.has_record ? "" : "VERSION " + n(static_cast<int64_t>(call.value));
    case DsprocIoctl::kConfigure:
      return read_record(call, configure) ? configure_fields(call) : "";
    case DsprocIoctl::kEnable:
    case DsprocIoctl::kDisable:
      if (!read_record(call, f)) return "";
      return std::string(call.request == DsprocIoctl::kEnable ? "ENABLE" : "DISABLE") +
             " ts=" + n(f.ts) + " id=" + n(f.id) + " mask=" + hex_number(f.mask);
  }
  return "";
}

bool Dsp::command(const Words& words, Reply& reply) {
  if (words[0] != "dsp") return false;
  uint32_t v[4];
  int32_t w1, w2;
  std::string bytes;
  reply = Reply::ok();
  if (words.size() == 2 && words[1] == "version") {
    reply = Reply::line(std::to_string(version_));
  } else if (words.size() == 3 && words[1] == "version" && parse_u32(words[2], v[0])) {
    version_ = v[0];
  } else if (words.size() == 8 && words[1] == "event" && parse_u32(words[2], v[0]) &&
             parse_u32(words[3], v[1]) && parse_u32(words[4], v[2]) &&
             parse_u32(words[5], v[3]) && parse_i32(words[6], w1) && parse_i32(words[7], w2)) {
    broadcast(record_bytes(dsproc_event_record{v[0], v[1], v[2], v[3], w1, w2}));
  } else if (words.size() == 3 && words[1] == "raw" && parse_hex_bytes(words[2], bytes)) {
    broadcast(bytes);
  } else if (words.size() == 3 && words[1] == "state" && parse_u32(words[2], v[0])) {
    reply = Reply::of_list(state(v[0]));
  } else if (words.size() == 5 && words[1] == "vad" && parse_u32(words[2], v[0]) &&
             parse_i32(words[3], w1) && parse_i32(words[4], w2)) {
    const auto& features = channels_[v[0]].features;
    auto vad = features.find(DsprocFeature::kVAD);
    if (vad == features.end()) {
      reply = Reply::error("no VAD enabled on time slot " + words[2]);
    } else {
      broadcast(
          record_bytes(dsproc_event_record{v[0], vad->second, DsprocFeature::kVAD, 3, w1, w2}));
    }
  } else {
    reply = Reply::error(
        "usage: dsp version [N] | dsp event TIMESLOT ID TYPE W0 W1 W2 | dsp raw HEX | "
        "dsp state TIMESLOT | dsp vad TIMESLOT RX TX");
  }
  return true;
}
