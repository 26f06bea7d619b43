#include "slots/tdm/mixer_slots.h"

#include <iostream>

#include "base/ext_header.h"
#include "hw/dsproc_records.h"
#include "hw/hw_mux.h"
#include "hw/tonec_records.h"
#include "slots/tdm/device_values.h"
#include "slots/tdm/mixer_unit.h"

namespace Mixer {

namespace {

using P = LGCP::IoctlParams;

// Frees the slot's switch channel and gives the slot back to its unit. The channel is also the
// way into the unit's input of the same number: an output leaves it to a live input there.
template <class S>
bool release(S& slot, bool disable) {
  if (disable) HwMux::instance().Disable(slot.timeslot);
  slot.mixer.Release(slot);
  return true;
}

}  // namespace

MixerSlot::MixerSlot(Mixer& mixer, int number, int timeslot)
    : mixer(mixer), unit(mixer.unit), number(number), timeslot(timeslot) {}

MixerSlot::~MixerSlot() {
  TonecReceiver::CleanBeforeDestroy();
  DSProcReceiver::CleanBeforeDestroy();
}

void MixerSlot::StopToneGenerator() {
  if (!toneGenRunning()) return;
  enableSilence();
  disableToneGenerator(true);
}

void MixerSlot::dsproc_tone_flt_event(const ::dsproc_tone_event* event) {
  processToneFltEvent(event);
}

void MixerSlot::dsproc_flags_event(const ::dsproc_flags_event* event) { processFlagsEvent(event); }

void MixerSlot::PutHeader(std::ostream& os) const { Mixer::PutHeader(os, unit); }

bool MixerSlot::Carries(const std::vector<DeviceValue>& values) {
  return AllCarried(values, refusalLogs, this);
}

bool MixerSlot::CommonIoctl(const LGCP::IoctlParams& p) {
  switch (p.currentSelection()) {
    case P::e_translateDTMF: {
      const LGCP::TranslateDtmfParams& t = p.get_translateDTMF();
      using Level = decltype(tone_gen_params::level1);
      std::vector<DeviceValue> values;
      for (const LGCP::DualTone& tone : t.get_digits()) {
        values.push_back(Carried<decltype(tone_gen_params::freq1)>(
            "translateDTMF freq1", tone.get_freq1().getValue()));
        values.push_back(Carried<decltype(tone_gen_params::freq2)>(
            "translateDTMF freq2", tone.get_freq2().getValue()));
      }
      if (t.has_amp1()) {
        values.push_back(Carried<Level>("translateDTMF amp1", t.get_amp1().getValue()));
      }
      if (t.has_amp2()) {
        values.push_back(Carried<Level>("translateDTMF amp2", t.get_amp2().getValue()));
      }
      if (!Carries(values)) return false;
      translateDTMF(t);
      return true;
    }
    case P::e_dtmf_params:
      return configureDTMF(p.get_dtmf_params());
    case P::e_vad_params: {
      const LGCP::VADParams& v = p.get_vad_params();
      if (v.is_v2()) {
        const TERM::VADParamsV2& v2 = v.get_v2();
        if (!Carries({Carried<decltype(dsproc_vad_v2_params::voice_th_msec)>(
                          "vad-params voice-th-msec", v2.get_voice_th_msec().getValue()),
                      Carried<decltype(dsproc_vad_v2_params::silence_th_msec)>(
                          "vad-params silence-th-msec", v2.get_silence_th_msec().getValue()),
                      Carried<decltype(dsproc_vad_v2_params::e_th_dB)>(
                          "vad-params e-th-dB", v2.get_e_th_dB().getValue())})) {
          return false;
        }
      }
      return configureVAD(v);
    }
    case P::e_vad_enable:
      return enableVAD(p.get_vad_enable().getValue());
    case P::e_vad_disable:
      return disableVAD();
    case P::e_sd_params:
      return configureSD();
    case P::e_sd_enable:
      return enableSD(p.get_sd_enable().getValue());
    case P::e_sd_disable:
      return disableSD();
    case P::e_iva_enable:
      return enableIVA(p.get_iva_enable().getValue());
    case P::e_delays: {
      const LGCP::Delays& d = p.get_delays();
      using Delay = decltype(dsproc_delays_params::rx);
      const int32_t rx = d.has_rx() ? d.get_rx().getValue() : 0;
      const int32_t tx = d.has_tx() ? d.get_tx().getValue() : 0;
      if (!Carries({Carried<Delay>("delays rx", rx), Carried<Delay>("delays tx", tx)})) {
        return false;
      }
      if (d.has_selcal()) {
        refusalLogs.write(std::cerr, this,
                          "error: selcal delay isn't supported for mixer!!! Set to zero.");
      }
      return configureDelays(static_cast<Delay>(rx), static_cast<Delay>(tx), 0);
    }
    case P::e_tone_filter: {
      const LGCP::ToneFilter& f = p.get_tone_filter();
      const int32_t freq = f.get_freq().getValue();
      const int32_t duration = f.get_duration_th_msec().getValue();
      const int32_t level = f.get_det_level_dB().getValue();
      if (!Carries({Carried<decltype(dsproc_tone_filter_params::freq)>("tone-filter freq", freq),
                    Carried<decltype(dsproc_tone_filter_params::duration_th_msec)>(
                        "tone-filter duration-th-msec", duration),
                    Carried<decltype(dsproc_tone_filter_params::det_lvl_dB)>(
                        "tone-filter det-level-dB", level)})) {
        return false;
      }
      return configureToneFilter(static_cast<unsigned>(freq), f.get_enable().getValue() ? 1 : 0,
                                 duration, level);
    }
    default:
      return false;
  }
}

bool TdmInput::IBeforeDestroy() { return release(*this, true); }

bool TdmInput::Ioctl(const LGCP::IoctlParams& p) {
  switch (p.currentSelection()) {
    case P::e_echoSuppressor:
      return echoCancel(p.get_echoSuppressor().getValue());
    case P::e_dtmf_enable:
      return enableDTMF(p.get_dtmf_enable().getValue());
    case P::e_dtmf_reject_enable:
      return enableDTMFReject(p.get_dtmf_reject_enable().getValue());
    case P::e_iva_params:
      return configureIVA(p.get_iva_params());
    case P::e_rx_gain: {
      const int32_t gain = p.get_rx_gain().get_gainDB().getValue();
      using Gain = decltype(dsproc_rx_gain_params::gain_dB);
      if (!Carries({Carried<Gain>("rx-gain gainDB", gain)})) return false;
      return configureRxGain(static_cast<Gain>(gain));
    }
    default:
      return CommonIoctl(p);
  }
}

bool TdmOutput::IBeforeDestroy() { return release(*this, !mixer.InputOn(number)); }

bool TdmOutput::Ioctl(const LGCP::IoctlParams& p) {
  switch (p.currentSelection()) {
    case P::e_dtmf_disable:
      return disableToneGenerator(false);
    case P::e_dtmf_reject_disable:
      return enableDTMFReject(false);
    case P::e_tone_gen_enable: {
      const LGCP::ToneGenerator& g = p.get_tone_gen_enable();
      using Freq = decltype(tone_gen_params::freq1);
      using Level = decltype(tone_gen_params::level1);
      const int32_t freq = g.get_freq().getValue();
      const int32_t amp = g.get_amp().getValue();
      if (!Carries({Carried<Freq>("tone-gen-enable freq", freq),
                    Carried<Level>("tone-gen-enable amp", amp)})) {
        return false;
      }
      disableToneGenerator(false);
      return enableToneGenerator(static_cast<Freq>(freq), 0, static_cast<Level>(amp), 0);
    }
    case P::e_tone_gen_disable:
      disableToneGenerator(true);
      return true;
    default:
      return CommonIoctl(p);
  }
}

}  // namespace Mixer
