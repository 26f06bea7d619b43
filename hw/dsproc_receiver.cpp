#include "hw/dsproc_receiver.h"

#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "base/device.h"
#include "base/trace_ctl.h"
#include "hw/device_events.h"

namespace Hardware {

namespace {

// The name of a switchable feature in messages.
const char* feature_name(uint32_t mask) {
  switch (mask) {
    case DsprocFeature::kVAD:
      return "VAD";
    case DsprocFeature::kSD:
      return "SD";
    case DsprocFeature::kBSS:
      return "BSS";
    case DsprocFeature::kNG:
      return "NG";
  }
  return "MUTE";
}

// The fixed VAD parameters of interface versions other than 2.
const dsproc_vad_v1_params kVadV1{3, 127, 0};

constexpr uint32_t kMute = DsprocFeature::kMuteRx | DsprocFeature::kMuteTx;

std::ostream& timeslot(std::ostream& os, int ts) { return os << " timeslot=" << ts; }

DSProcReceiverService& service() { return DSProcReceiverService::instance(); }

}  // namespace

// --- receiver ---

DSProcReceiver::DSProcReceiver() { service().receivers_.push_back(&link_); }

DSProcReceiver::~DSProcReceiver() = default;

bool DSProcReceiver::configureVAD(const LGCP::VADParams& params) {
  return may_claim(Hold::kVAD, "VAD") && service().configureVAD(dsproc_timeslot(), params);
}

bool DSProcReceiver::enableVAD(bool on) {
  return switch_feature(vad_, Hold::kVAD, DsprocFeature::kVAD, on);
}

bool DSProcReceiver::enableBSS(bool on) {
  return switch_feature(bss_, Hold::kBSS, DsprocFeature::kBSS, on);
}

bool DSProcReceiver::enableNG(bool on) {
  return switch_feature(ng_, Hold::kNG, DsprocFeature::kNG, on);
}

bool DSProcReceiver::configureSD() {
  return may_claim(Hold::kSD, "SD") && service().configureSD(dsproc_timeslot());
}

bool DSProcReceiver::enableSD(bool on) {
  return switch_feature(sd_, Hold::kSD, DsprocFeature::kSD, on);
}

bool DSProcReceiver::enableMute(bool rx, bool tx) {
  if (held_elsewhere(Hold::kMute)) {
    if (rx || tx) return may_claim(Hold::kMute, "MUTE");
    mute_rx_ = mute_tx_ = 0;
    return true;
  }
  return service().enableMute(*this, rx, tx);
}

bool DSProcReceiver::configureDelays(unsigned rx, unsigned tx, unsigned selcal) {
  const bool set = rx || tx || selcal;
  if (held_elsewhere(Hold::kDelays)) {
    if (set) return may_claim(Hold::kDelays, "DELAYS");
    delays_set_ = false;
    return true;
  }
  bool ok = service().configureDelays(dsproc_timeslot(), rx, tx, selcal);
  if (ok) delays_set_ = set;
  return ok;
}

bool DSProcReceiver::configureRxGain(int8_t gainDB) {
  if (held_elsewhere(Hold::kRxGain)) {
    if (gainDB) return may_claim(Hold::kRxGain, "RX GAIN");
    rx_gain_set_ = false;
    return true;
  }
  bool ok = service().configureRxGain(dsproc_timeslot(), gainDB);
  if (ok) rx_gain_set_ = gainDB != 0;
  return ok;
}

bool DSProcReceiver::configureToneFilter(unsigned freq, unsigned enable, int durationMsec,
                                         int levelDB) {
  if (held_elsewhere(Hold::kToneFilters)) {
    if (enable) return may_claim(Hold::kToneFilters, "TONE FILTER");
    tone_filters_.erase(freq);
    return true;
  }
  if (!service().configureToneFilter(dsproc_timeslot(), freq, enable, durationMsec, levelDB)) {
    return false;
  }
  if (enable) {
    tone_filters_.insert(freq);
  } else {
    tone_filters_.erase(freq);
  }
  return true;
}

bool DSProcReceiver::disableToneAll() {
  if (tone_filters_.empty() && service().other(*this, std::nullopt)) return true;
  if (!service().disableToneAll(dsproc_timeslot())) return false;
  tone_filters_.clear();
  return true;
}

void DSProcReceiver::CleanBeforeDestroy() {
  if (vad_.state > 0) disableVAD();
  if (sd_.state > 0) disableSD();
  if (bss_.state > 0) disableBSS();
  if (ng_.state > 0) disableNG();
  if (delays_set_) configureDelays(0, 0, 0);
  if (rx_gain_set_) configureRxGain(0);
  disableToneAll();
}

bool DSProcReceiver::holds(Hold what) const {
  switch (what) {
    case Hold::kVAD:
      return vad_.state > 0;
    case Hold::kSD:
      return sd_.state > 0;
    case Hold::kBSS:
      return bss_.state > 0;
    case Hold::kNG:
      return ng_.state > 0;
    case Hold::kMute:
      return mute_rx_ > 0 || mute_tx_ > 0;
    case Hold::kDelays:
      return delays_set_;
    case Hold::kRxGain:
      return rx_gain_set_;
    case Hold::kToneFilters:
      return !tone_filters_.empty();
  }
  return false;
}

bool DSProcReceiver::held_elsewhere(Hold what) const {
  return service().other(*this, what) != nullptr;
}

bool DSProcReceiver::switch_feature(Feature& feature, Hold what, uint32_t mask, bool on) {
  if (held_elsewhere(what)) {
    if (on) return may_claim(what, feature_name(mask));
    feature.state = 0;
    return true;
  }
  return service().enableFeature(dsproc_timeslot(), feature, mask, on);
}

// --- service ---

DSProcReceiverService& DSProcReceiverService::instance() {
  static DSProcReceiverService s;
  return s;
}

DSProcReceiverService::DSProcReceiverService()
    : events_("dsproc", "DSProcReceiverService::OnEvent",
              [this](const dsproc_event_record& e) { deliver(e); }) {
  init();
}

bool DSProcReceiverService::init() {
  if (events_.open("/dev/dsp", O_RDWR)) return true;
  std::cerr << "open dsproc fail, VAD proceeding disabled: " << std::strerror(errno)
            << std::endl;
  return false;
}

bool DSProcReceiverService::ready(const char* not_opened, int ts) {
  if (opened() || init()) return true;
  timeslot(std::cerr << not_opened, ts) << std::endl;
  return false;
}

bool DSProcReceiverService::configure(int ts, uint32_t what, const void* params, size_t size,
                                      const char* failure) {
  dsproc_configure record{static_cast<uint32_t>(ts), what, {}};
  if (size) std::memcpy(record.params, params, size);
  if (Device::ioctl(events_.fd(), DsprocIoctl::kConfigure, &record, sizeof record) >= 0) {
    return true;
  }
  ErrnoSuffix error;
  timeslot(std::cerr << failure, ts) << error << std::endl;
  return false;
}

bool DSProcReceiverService::configureVAD(int ts, const LGCP::VADParams& params) {
  if (!ready("configure VAD fail: (interface not opened)", ts)) return false;
  int version = Device::ioctl(events_.fd(), DsprocIoctl::kVersion, 0ul);
  bool ok;
  if (version == 2) {
    if (!params.is_v2()) {
      timeslot(std::cerr << "DSPROC_CONFIGURE VAD: params not specified for v2: ", ts)
          << std::endl;
      return false;
    }
    const TERM::VADParamsV2& v2 = params.get_v2();
    dsproc_vad_v2_params p{static_cast<uint16_t>(v2.get_voice_th_msec().getValue()),
                           static_cast<uint16_t>(v2.get_silence_th_msec().getValue()),
                           static_cast<uint8_t>(v2.get_e_th_dB().getValue())};
    ok = configure(ts, DsprocConfigure::kVAD, &p, sizeof p, "DSPROC_CONFIGURE VAD fail:");
  } else {
    ok = configure(ts, DsprocConfigure::kVAD, &kVadV1, sizeof kVadV1,
                   "DSPROC_CONFIGURE VAD fail:");
  }
  if (ok) std::clog << "DSPROC_CONFIGURE VAD ts=" << ts << std::endl;
  return ok;
}

bool DSProcReceiverService::configureSD(int ts) {
  if (!ready("configure SD fail: (interface not opened)", ts)) return false;
  if (!configure(ts, DsprocConfigure::kSD, nullptr, 0, "DSPROC_CONFIGURE SD fail:")) return false;
  std::clog << "DSPROC_CONFIGURE SD ts=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::configureDelays(int ts, unsigned rx, unsigned tx, unsigned selcal) {
  if (!ready("configure Delays fail: (interface not opened)", ts)) return false;
  dsproc_delays_params p{rx, tx, selcal};
  if (!configure(ts, DsprocConfigure::kDelays, &p, sizeof p, "DSPROC_CONFIGURE DELAYS fail:")) {
    return false;
  }
  std::clog << "DSPROC_CONFIGURE DELAYS ts=" << ts << " rx=" << rx << " tx=" << tx
            << " selcal=" << selcal << std::endl;
  return true;
}

bool DSProcReceiverService::configureRxGain(int ts, int8_t gainDB) {
  if (!ready("Configure Rx gain fail: (interface not opened)", ts)) return false;
  dsproc_rx_gain_params p{gainDB};
  if (!configure(ts, DsprocConfigure::kRxGain, &p, sizeof p, "DSPROC_CONFIGURE Rx Gain fail:")) {
    return false;
  }
  std::clog << "DSPROC_CONFIGURE RX GAIN ts=" << ts << " gain_dB=" << int(gainDB) << std::endl;
  return true;
}

bool DSProcReceiverService::configureToneFilter(int ts, unsigned freq, unsigned enable,
                                                int durationMsec, int levelDB) {
  if (!ready("Configure Tone Filter fail: (interface not opened)", ts)) return false;
  dsproc_tone_filter_params p{static_cast<uint16_t>(freq), static_cast<uint8_t>(enable), 0,
                              static_cast<uint16_t>(durationMsec), static_cast<int8_t>(levelDB)};
  if (!configure(ts, DsprocConfigure::kToneFilter, &p, sizeof p,
                 "DSPROC_CONFIGURE Tone Filter fail:")) {
    return false;
  }
  std::clog << "DSPROC_CONFIGURE TONE FILTER ts=" << ts << " freq=" << freq << ", en=" << enable
            << ", dur_th_msec=" << durationMsec << ", det_lvl_dB=" << levelDB << std::endl;
  return true;
}

bool DSProcReceiverService::disableToneAll(int ts) {
  if (!ready("Disable All Tone fail: (interface not opened)", ts)) return false;
  dsproc_feature off{static_cast<uint32_t>(ts), 0, DsprocFeature::kToneFilter};
  if (Device::ioctl(events_.fd(), DsprocIoctl::kDisable, &off, sizeof off) < 0) {
    ErrnoSuffix error;
    timeslot(std::cerr << "Disable All Tone fail:", ts) << error << std::endl;
    return false;
  }
  std::clog << "DISABLE ALL TONE done:  ts=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::enable(int ts, uint32_t mask, const char* name, uint32_t& id) {
  if (++id_ == 0) id_ = 1;
  id = id_;
  dsproc_feature on{static_cast<uint32_t>(ts), id, mask};
  bool ok = Device::ioctl(events_.fd(), DsprocIoctl::kEnable, &on, sizeof on) >= 0;
  ErrnoSuffix error;
  timeslot(std::cerr << "DSPROC_ENABLE " << name << (ok ? " done:" : " fail:"), ts)
      << " id=" << id;
  if (!ok) std::cerr << error;
  std::cerr << std::endl;
  return ok;
}

bool DSProcReceiverService::disable(int ts, uint32_t mask, const char* name) {
  dsproc_feature off{static_cast<uint32_t>(ts), 0, mask};
  bool ok = Device::ioctl(events_.fd(), DsprocIoctl::kDisable, &off, sizeof off) >= 0;
  ErrnoSuffix error;
  timeslot(std::cerr << "DSPROC_DISABLE " << name << (ok ? " done:" : " fail:"), ts);
  if (!ok) std::cerr << error;
  std::cerr << std::endl;
  return ok;
}

bool DSProcReceiverService::enableFeature(int ts, DSProcReceiver::Feature& feature, uint32_t mask,
                                          bool on) {
  if (feature.state != -1 && feature.state == int(on)) return true;
  const char* name = feature_name(mask);
  uint32_t id;
  if (on ? !enable(ts, mask, name, id) : !disable(ts, mask, name)) return false;
  if (on) feature.id = id;
  feature.state = on;
  return true;
}

bool DSProcReceiverService::enableMute(DSProcReceiver& r, bool rx, bool tx) {
  if (r.mute_rx_ == int(rx) && r.mute_tx_ == int(tx)) return true;
  int ts = r.dsproc_timeslot();
  if (!rx && !tx) {
    if (!disable(ts, kMute, "MUTE")) return false;
  } else {
    uint32_t mask = (rx ? DsprocFeature::kMuteRx : 0) | (tx ? DsprocFeature::kMuteTx : 0);
    if (!enable(ts, mask, "MUTE", r.mute_id_)) return false;
  }
  r.mute_rx_ = rx;
  r.mute_tx_ = tx;
  return true;
}

DSProcReceiver* DSProcReceiverService::find(uint32_t ts,
                                             std::optional<DSProcReceiver::Hold> what) {
  DSProcReceiver* oldest = nullptr;
  for (Containers::CyclicList& node : receivers_) {
    DSProcReceiver* r = static_cast<DSProcReceiver::Link&>(node).receiver;
    if (static_cast<uint32_t>(r->dsproc_timeslot()) != ts) continue;
    if (!what || r->holds(*what)) return r;
    if (!oldest) oldest = r;
  }
  return oldest;
}

const DSProcReceiver* DSProcReceiverService::other(const DSProcReceiver& except,
                                                   std::optional<DSProcReceiver::Hold> what) {
  const int ts = except.dsproc_timeslot();
  for (Containers::CyclicList& node : receivers_) {
    const DSProcReceiver* r = static_cast<DSProcReceiver::Link&>(node).receiver;
    if (r != &except && r->dsproc_timeslot() == ts && (!what || r->holds(*what))) return r;
  }
  return nullptr;
}

namespace {

std::ostream& operator<<(std::ostream& os, const dsproc_event_record& e) {
  return os << " timeslot=" << e.timeslot << " id=" << e.id << " type=" << e.type;
}

// The event's words after its header, as the payload of its type.
template <class T>
T payload(const dsproc_event_record& e) {
  static_assert(sizeof(T) <= sizeof e - offsetof(dsproc_event_record, w0), "payload size");
  T p;
  const char* words = reinterpret_cast<const char*>(&e) + offsetof(dsproc_event_record, w0);
  std::memcpy(&p, words, sizeof p);
  return p;
}

void trace_event(const dsproc_event_record& e) {
  std::clog << "dsproc event: " << e << std::endl;
  switch (e.type) {
    case DsprocFeature::kVAD:
      std::clog << "dsproc vad event:  dir_mask=" << e.w0 << " vad_rx=" << e.w1
                << " vad_tx=" << e.w2 << std::endl;
      break;
    case DsprocFeature::kSD:
      std::clog << "dsproc sd event:  sd_rx=" << e.w0 << std::endl;
      break;
    case DsprocFeature::kBSS:
      std::clog << "dsproc bss event:  score=" << payload<dsproc_bss_event>(e).score << std::endl;
      break;
    case DsprocFeature::kFlags:
      std::clog << "dsproc flags event:  flags=0x" << std::hex << e.w0 << ", mask=0x"
                << static_cast<uint32_t>(e.w1) << std::dec << std::endl;
      break;
  }
}

// Whether an event of a feature may go to the receiver: the feature is not off and, when
// `check_id`, the event carries the feature's id. Drops are traced under `what`.
bool accepted(const dsproc_event_record& e, const DSProcReceiver::Feature& f, const char* what,
              bool check_id) {
  bool trace = traces.signallingEvents;
  if (f.state == 0) {
    if (trace) {
      std::clog << "ignore spurious dsproc " << what << " event (dsproc disabled): " << e
                << std::endl;
    }
    return false;
  }
  if (check_id && e.id != f.id) {
    if (trace) {
      std::clog << "ignore spurious dsproc " << what << " event: " << e << " rid=" << f.id
                << std::endl;
    }
    return false;
  }
  return true;
}

// The feature whose owner takes events of `type`; none for a type no receiver holds.
std::optional<DSProcReceiver::Hold> owner_of(uint32_t type) {
  switch (type) {
    case DsprocFeature::kVAD:
      return DSProcReceiver::Hold::kVAD;
    case DsprocFeature::kSD:
      return DSProcReceiver::Hold::kSD;
    case DsprocFeature::kBSS:
      return DSProcReceiver::Hold::kBSS;
    case DsprocFeature::kToneFilter:
      return DSProcReceiver::Hold::kToneFilters;
  }
  return std::nullopt;
}

}  // namespace

void DSProcReceiverService::deliver(const dsproc_event_record& e) {
  if (traces.signallingEvents) trace_event(e);
  DSProcReceiver* r = find(e.timeslot, owner_of(e.type));
  if (!r) {
    if (traces.signallingEvents) {
      std::cerr << "receive dsproc event from unknown timeslot " << e.timeslot << std::endl;
    }
    return;
  }
  switch (e.type) {
    case DsprocFeature::kVAD:
      if (accepted(e, r->vad_, "vad", true)) {
        r->dsproc_vad_event({e.w0 & 1 ? e.w1 : -1, e.w0 & 2 ? e.w2 : -1});
      }
      break;
    case DsprocFeature::kSD:
      if (accepted(e, r->sd_, "sd", true)) r->dsproc_sd_event({static_cast<int>(e.w0)});
      break;
    case DsprocFeature::kBSS:
      if (accepted(e, r->bss_, "bss", false)) {
        dsproc_bss_event bss = payload<dsproc_bss_event>(e);
        r->dsproc_bss_event(&bss);
      }
      break;
    case DsprocFeature::kToneFilter: {
      dsproc_tone_event tone = payload<dsproc_tone_event>(e);
      r->dsproc_tone_flt_event(&tone);
      break;
    }
    case DsprocFeature::kFlags: {
      // The VAD report goes to the holder of VAD, the rest to the oldest receiver.
      dsproc_flags_event flags = payload<dsproc_flags_event>(e);
      const uint32_t vad = DsprocFlag::kVadRx | DsprocFlag::kVadTx;
      DSProcReceiver* holder = flags.mask & vad ? find(e.timeslot, DSProcReceiver::Hold::kVAD) : r;
      if (holder == r) {
        r->dsproc_flags_event(&flags);
        break;
      }
      dsproc_flags_event report{flags.flags, flags.mask & vad};
      holder->dsproc_flags_event(&report);
      flags.mask &= ~vad;
      if (flags.mask) r->dsproc_flags_event(&flags);
      break;
    }
  }
}

}  // namespace Hardware
