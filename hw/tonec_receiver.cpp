#include "hw/tonec_receiver.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iostream>

#include "base/device.h"
#include "hw/device_events.h"

namespace Hardware {

namespace {

// Ring-back: ITU-T E.180 ringing tone, 425 Hz, 1 s on, 3 s off.
constexpr uint16_t kRingFreq = 425;
constexpr uint16_t kRingLevel = 2048;
constexpr unsigned kRingOnMs = 1000;
constexpr unsigned kRingOffMs = 3000;
// DTMF sequences: the defaults of the request's optional fields.
constexpr uint16_t kDigitLevel = 16384;
constexpr unsigned kDigitMs = 70;
constexpr uint16_t kSelcalAmp = 12000;

std::ostream& timeslot(std::ostream& os, int ts) { return os << " timeslot=" << ts; }

// A tone or pause of a DTMF sequence in ms, never negative.
unsigned duration(int32_t ms) { return static_cast<unsigned>(std::max<int32_t>(ms, 0)); }

}  // namespace

// --- receiver ---

TonecReceiver::TonecReceiver() {
  TonecReceiverService::instance().receivers_.push_back(&link_);
  done_call_.Bind(this, &TonecReceiver::report_done);
}

TonecReceiver::~TonecReceiver() = default;

void TonecReceiver::tone_gen_complete() {}

void TonecReceiver::tone_gen_failed(int) {}

bool TonecReceiver::configureDTMF(const LGCP::DTMFParams& params) {
  if (!may_claim(Hold::kDetector, "DTMF")) return false;
  if (!TonecReceiverService::instance().configureDTMF(tonec_timeslot(), params)) return false;
  dtmf_params_ = params;
  return true;
}

bool TonecReceiver::enableDTMF(bool on) {
  if (on && !dtmf_on_ && !may_claim(Hold::kDetector, "DTMF")) return false;
  return TonecReceiverService::instance().enableDTMF(*this, on);
}

bool TonecReceiver::echoCancel(bool on) {
  return TonecReceiverService::instance().echoCancel(tonec_timeslot(), on);
}

bool TonecReceiver::enableDTMFReject(bool on) {
  if (held_elsewhere(Hold::kReject)) {
    if (on) return may_claim(Hold::kReject, "DTMF_REJECTION");
    reject_on_ = false;
    return true;
  }
  bool ok = TonecReceiverService::instance().enableDTMFReject(tonec_timeslot(), on);
  if (ok) reject_on_ = on;
  return ok;
}

bool TonecReceiver::configureIVA(const LGCP::IVAParams& params) {
  if (!may_claim(Hold::kDetector, "IVA")) return false;
  return TonecReceiverService::instance().configureIVA(*this, params);
}

bool TonecReceiver::enableIVA(bool on) {
  if (held_elsewhere(Hold::kDetector)) {
    if (on) return may_claim(Hold::kDetector, "IVA");
    iva_on_ = false;
    return true;
  }
  return TonecReceiverService::instance().enableIVA(*this, on);
}

bool TonecReceiver::enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t level1,
                                        uint16_t level2) {
  const bool on = freq1 || freq2 || level1 || level2;
  if (held_elsewhere(Hold::kGenerator)) {
    if (on) return claim_generator();
    generator_on_ = false;
    return true;
  }
  if (!TonecReceiverService::instance().enableToneGenerator(tonec_timeslot(), freq1, freq2,
                                                            level1, level2)) {
    return false;
  }
  generator_on_ = on;
  // Whatever the generator plays now has replaced a Selcal code still being dialled.
  selcal_running_ = false;
  return true;
}

bool TonecReceiver::enableSteadyTone(uint16_t freq1, uint16_t freq2, uint16_t level1,
                                     uint16_t level2) {
  if (!enableToneGenerator(freq1, freq2, level1, level2)) return false;
  stop_tones();
  return true;
}

bool TonecReceiver::claim_generator() { return may_claim(Hold::kGenerator, "TONE_GENERATOR"); }

void TonecReceiver::stop_tones() {
  tone_timer_.reset();
  sequence_running_ = false;
  audible_ = false;
}

bool TonecReceiver::disableToneGenerator(bool force) {
  if (!force && !sequence_running_) return false;
  return enableSteadyTone(0, 0, 0, 0);
}

bool TonecReceiver::activateAudibleCall() {
  if (!claim_generator()) return false;
  // The cadence takes the tone timer over: a sequence in progress ends here.
  sequence_running_ = false;
  audible_ = true;
  return play_ring_tone();
}

void TonecReceiver::cancelAudibleCall() {
  if (sequence_running_) return;
  switch_off();
}

void TonecReceiver::switch_off() {
  stop_tones();
  // A refusal is logged.
  enableToneGenerator(0, 0, 0, 0);
}

bool TonecReceiver::play_ring_tone() {
  step_ = ToneStep::kRingTone;
  tone_timer_.set(kRingOnMs, &TonecReceiver::OnToneTimer, this);
  return enableToneGenerator(kRingFreq, 0, kRingLevel, kRingLevel);
}

void TonecReceiver::play_ring_silence() {
  step_ = ToneStep::kRingSilence;
  tone_timer_.set(kRingOffMs, &TonecReceiver::OnToneTimer, this);
  enableSilence();
}

bool TonecReceiver::translateDTMF(const LGCP::TranslateDtmfParams& params) {
  if (!claim_generator()) return false;
  pending_ = params;
  if (sequence_running_) return true;
  if (!next_digit()) {
    // The first request was refused: the sequence has not begun, and what played before (a
    // tone, the ring-back) plays on.
    pending_.get_digits().clear();
    return false;
  }
  // An empty list has ended already; its end is reported on the next loop turn, after the
  // request's answer.
  if (!sequence_running_) done_call_.Activate();
  return true;
}

void TonecReceiver::report_done() {
  done_call_.Deactivate();
  tone_gen_complete();
}

bool TonecReceiver::next_digit() {
  auto& digits = pending_.get_digits();
  if (digits.empty()) return enableSteadyTone(0, 0, 0, 0);
  const auto& p = pending_;
  const uint16_t freq1 = static_cast<uint16_t>(digits[0].get_freq1().getValue());
  const uint16_t freq2 = static_cast<uint16_t>(digits[0].get_freq2().getValue());
  const uint16_t level1 =
      p.has_amp1() ? static_cast<uint16_t>(p.get_amp1().getValue()) : kDigitLevel;
  const uint16_t level2 =
      p.has_amp2() ? static_cast<uint16_t>(p.get_amp2().getValue()) : kDigitLevel;
  if (!enableToneGenerator(freq1, freq2, level1, level2)) return false;
  digits.erase(digits.begin());
  // The tone has taken the generator and the timer over, a ring-back cadence included.
  sequence_running_ = true;
  audible_ = false;
  step_ = ToneStep::kDigitTone;
  tone_timer_.set(p.has_toneDuration() ? duration(p.get_toneDuration().getValue()) : kDigitMs,
                  &TonecReceiver::OnToneTimer, this);
  return true;
}

void TonecReceiver::OnToneTimer() {
  switch (step_) {
    case ToneStep::kRingTone:
      play_ring_silence();
      break;
    case ToneStep::kRingSilence:
      play_ring_tone();
      break;
    case ToneStep::kDigitTone:
      step_ = ToneStep::kDigitPause;
      tone_timer_.set(pending_.has_pauseDuration()
                          ? duration(pending_.get_pauseDuration().getValue())
                          : kDigitMs,
                      &TonecReceiver::OnToneTimer, this);
      if (!enableSilence()) cut_short();
      break;
    case ToneStep::kDigitPause:
      if (!next_digit()) {
        cut_short();
      } else if (!sequence_running_) {
        tone_gen_complete();
      }
      break;
  }
}

void TonecReceiver::cut_short() {
  const int error = errno;
  pending_.get_digits().clear();
  // Whatever the generator was left playing is switched off.
  switch_off();
  tone_gen_failed(error);
}

bool TonecReceiver::translateSelcal(const TERM::SelcalCommand& command) {
  if (!claim_generator()) return false;
  if (!TonecReceiverService::instance().translateSelcal(*this, command)) return false;
  selcal_running_ = true;
  return true;
}

void TonecReceiver::selcal_done() { selcal_running_ = false; }

bool TonecReceiver::holds(Hold what) const {
  switch (what) {
    case Hold::kDetector:
      return detector_on();
    case Hold::kReject:
      return reject_on_;
    case Hold::kGenerator:
      return toneGenRunning() || generator_on_;
  }
  return false;
}

bool TonecReceiver::held_elsewhere(Hold what) const {
  return TonecReceiverService::instance().other(*this, what) != nullptr;
}

void TonecReceiver::RestoreDTMF() { TonecReceiverService::instance().restoreDTMF(*this); }

void TonecReceiver::CleanBeforeDestroy() {
  if (dtmf_on_) disableDTMF();
  if (iva_on_) enableIVA(false);
  if (reject_on_) enableDTMFReject(false);
  // No tone may go on playing on a time slot that is about to be freed, nor a timer run on,
  // whether or not the device takes the switch-off.
  if (toneGenRunning()) switch_off();
}

// --- service ---

TonecReceiverService& TonecReceiverService::instance() {
  static TonecReceiverService service;
  return service;
}

TonecReceiverService::TonecReceiverService()
    : events_("tonec", "TonecReceiverService::OnEvent",
              [this](const tonec_event_record& e) { deliver(e); }) {
  init();
}

bool TonecReceiverService::init() {
  if (events_.open("/dev/dtmf", O_RDONLY)) return true;
  std::cerr << "open tonec fail, DTMF proceeding disabled: " << std::strerror(errno) << std::endl;
  return false;
}

bool TonecReceiverService::request(uint32_t number, int ts) {
  return Device::ioctl(events_.fd(), number, static_cast<unsigned long>(ts)) >= 0;
}

template <class T>
bool TonecReceiverService::request(uint32_t number, T& record) {
  return Device::ioctl(events_.fd(), number, &record, sizeof record) >= 0;
}

bool TonecReceiverService::switch_request(uint32_t number, const char* name, const char* suffix,
                                          int ts) {
  if (request(number, ts)) {
    std::clog << name << suffix << "[" << ts << "] ok" << std::endl;
    return true;
  }
  ErrnoSuffix error;
  timeslot(std::cerr << name << suffix << " fail:", ts) << error << std::endl;
  return false;
}

bool TonecReceiverService::configureDTMF(int ts, const LGCP::DTMFParams& params) {
  if (!opened() && !init()) {
    timeslot(std::cerr << "configure DTMF fail: (interface not opened)", ts) << std::endl;
    return false;
  }
  const auto& threshold = params.get_threshold();
  dtmf_detector_config config{static_cast<uint32_t>(ts), threshold.get_twist().getValue(),
                              threshold.get_ratio().getValue(),
                              params.get_level().get_silence().getValue(),
                              threshold.get_noise().getValue()};
  if (!request(TonecIoctl::kConfigureDetector, config)) {
    ErrnoSuffix error;
    timeslot(std::cerr << "DTMF_CONFIGURE_DETECTOR fail:", ts) << error << std::endl;
    return false;
  }
  std::clog << "DTMF_CONFIGURE_DETECTOR ts=" << ts << " twist=" << config.twist
            << " ratio=" << config.ratio << " noise=" << config.noise
            << " silence=" << config.silence << std::endl;
  return true;
}

bool TonecReceiverService::echoCancel(int ts, bool on) {
  return switch_request(on ? TonecIoctl::kLmsOn : TonecIoctl::kLmsOff, "CHANNEL_LMS",
                        on ? "_ON" : "_OFF", ts);
}

bool TonecReceiverService::enableDTMFReject(int ts, bool on) {
  return switch_request(on ? TonecIoctl::kRejectionEnable : TonecIoctl::kRejectionDisable,
                        "DTMF_REJECTION", on ? "_ENABLE" : "_DISABLE", ts);
}

bool TonecReceiverService::enableDTMF(TonecReceiver& receiver, bool on) {
  if (receiver.dtmf_on_ == on) return true;
  int ts = receiver.tonec_timeslot();
  if (on) {
    if (++id_ == 0) id_ = 1;
    if (!enable_detector(ts, id_)) return false;
    receiver.detector_id_ = id_;
    receiver.dtmf_on_ = true;
    return true;
  }
  if (!request(TonecIoctl::kDisableDetector, ts)) {
    ErrnoSuffix error;
    timeslot(std::cerr << "DTMF_DISABLE_DETECTOR fail:", ts) << error << std::endl;
    return false;
  }
  receiver.dtmf_on_ = false;
  timeslot(std::cerr << "DTMF_DISABLE_DETECTOR done:", ts) << std::endl;
  return true;
}

bool TonecReceiverService::enable_detector(int ts, uint32_t id) {
  dtmf_detector_enable enable{static_cast<uint32_t>(ts), id};
  if (!request(TonecIoctl::kEnableDetector, enable)) {
    ErrnoSuffix error;
    timeslot(std::cerr << "DTMF_ENABLE_DETECTOR fail:", ts) << " id=" << id << error
                                                            << std::endl;
    return false;
  }
  timeslot(std::cerr << "DTMF_ENABLE_DETECTOR done:", ts) << " id=" << id << std::endl;
  return true;
}

void TonecReceiverService::restoreDTMF(TonecReceiver& receiver) {
  const int ts = receiver.tonec_timeslot();
  if (receiver.dtmf_params_) configureDTMF(ts, *receiver.dtmf_params_);
  if (receiver.dtmf_on_) enable_detector(ts, receiver.detector_id_);
  if (receiver.reject_on_) enableDTMFReject(ts, true);
}

bool TonecReceiverService::enableToneGenerator(int ts, uint16_t freq1, uint16_t freq2,
                                               uint16_t level1, uint16_t level2) {
  tone_gen_params tone{static_cast<uint32_t>(ts), freq1, freq2, level1, level2};
  if (request(TonecIoctl::kDial, tone)) return true;
  ErrnoSuffix error;
  timeslot(std::cerr << "DTMF_DIAL fail:", ts) << error << std::endl;
  errno = error.error;
  return false;
}

bool TonecReceiverService::configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params) {
  int ts = receiver.tonec_timeslot();
  if (!opened() && !init()) {
    timeslot(std::cerr << "configure IVA fail: (interface not opened)", ts) << std::endl;
    return false;
  }
  int32_t level = params.get_det_lvl_dB().getValue();
  iva_detector_config config{static_cast<uint32_t>(ts), static_cast<uint32_t>(level)};
  if (!request(TonecIoctl::kIvaConfigure, config)) {
    ErrnoSuffix error;
    timeslot(std::cerr << "IVA_CONFIGURE_DETECTOR fail:", ts) << error << std::endl;
    return false;
  }
  std::clog << "IVA_CONFIGURE_DETECTOR ts=" << ts << " det_lvl_dB=" << level << std::endl;
  return true;
}

bool TonecReceiverService::enableIVA(TonecReceiver& receiver, bool on) {
  bool ok = switch_request(on ? TonecIoctl::kIvaEnable : TonecIoctl::kIvaDisable, "IVA_DETECTOR",
                           on ? "_ENABLE" : "_DISABLE", receiver.tonec_timeslot());
  if (ok) receiver.iva_on_ = on;
  return ok;
}

bool TonecReceiverService::translateSelcal(TonecReceiver& receiver,
                                           const TERM::SelcalCommand& command) {
  int ts = receiver.tonec_timeslot();
  const std::string& signs = command.get_signs();
  if (signs.size() < 4) {
    timeslot(std::cerr << "SELCAL_DIAL fail:", ts) << " incorect signs:" << signs << std::endl;
    return false;
  }
  selcal_dial_params dial{};
  dial.ts = static_cast<uint32_t>(ts);
  dial.amp = command.has_amp() ? static_cast<uint16_t>(command.get_amp().getValue()) : kSelcalAmp;
  signs.copy(dial.signs, sizeof dial.signs);
  if (request(TonecIoctl::kSelcalDial, dial)) return true;
  ErrnoSuffix error;
  timeslot(std::cerr << "SELCAL_DIAL fail:", ts) << error << std::endl;
  return false;
}

TonecReceiver* TonecReceiverService::find(uint32_t ts) {
  TonecReceiver* oldest = nullptr;
  for (Containers::CyclicList& node : receivers_) {
    TonecReceiver* r = static_cast<TonecReceiver::Link&>(node).receiver;
    if (static_cast<uint32_t>(r->tonec_timeslot()) != ts) continue;
    if (r->detector_on()) return r;
    if (!oldest) oldest = r;
  }
  return oldest;
}

const TonecReceiver* TonecReceiverService::other(const TonecReceiver& except,
                                                 TonecReceiver::Hold what) {
  const int ts = except.tonec_timeslot();
  for (Containers::CyclicList& node : receivers_) {
    const TonecReceiver* r = static_cast<TonecReceiver::Link&>(node).receiver;
    if (r != &except && r->tonec_timeslot() == ts && r->holds(what)) return r;
  }
  return nullptr;
}

namespace {

std::ostream& operator<<(std::ostream& os, const tonec_event_record& e) {
  return os << " timestamp=" << e.timestamp << " timeslot=" << e.timeslot << " code=" << e.code
            << " id=" << e.id;
}

}  // namespace

void TonecReceiverService::deliver(const tonec_event_record& e) {
  std::clog << "dtmf event: " << e << std::endl;
  TonecReceiver* r = find(e.timeslot);
  if (!r) {
    std::cerr << "receive tonec event from unknown timeslot " << e.timeslot << std::endl;
  } else if (!r->detector_on()) {
    std::clog << "ignore spurious dtmf event (DTMF disabled): " << e << std::endl;
  } else if (e.id != r->detector_id_) {
    std::clog << "ignore spurious dtmf event: " << e << " rid=" << r->detector_id_ << std::endl;
  } else {
    r->tonec_event({e.code, e.timestamp});
  }
}

}  // namespace Hardware
