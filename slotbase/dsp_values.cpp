#include "slotbase/dsp_values.h"

#include "hw/dsproc_records.h"
#include "hw/tonec_records.h"

std::vector<DeviceValue> TranslateDtmfValues(const LGCP::TranslateDtmfParams& t) {
  using Level = decltype(tone_gen_params::level1);
  std::vector<DeviceValue> values;
  for (const LGCP::DualTone& tone : t.get_digits()) {
    values.push_back(Carried<decltype(tone_gen_params::freq1)>("translateDTMF freq1",
                                                               tone.get_freq1().getValue()));
    values.push_back(Carried<decltype(tone_gen_params::freq2)>("translateDTMF freq2",
                                                               tone.get_freq2().getValue()));
  }
  if (t.has_amp1()) values.push_back(Carried<Level>("translateDTMF amp1", t.get_amp1().getValue()));
  if (t.has_amp2()) values.push_back(Carried<Level>("translateDTMF amp2", t.get_amp2().getValue()));
  return values;
}

std::vector<DeviceValue> VadValues(const LGCP::VADParams& v) {
  if (!v.is_v2()) return {};
  const TERM::VADParamsV2& v2 = v.get_v2();
  return {Carried<decltype(dsproc_vad_v2_params::voice_th_msec)>(
              "vad-params voice-th-msec", v2.get_voice_th_msec().getValue()),
          Carried<decltype(dsproc_vad_v2_params::silence_th_msec)>(
              "vad-params silence-th-msec", v2.get_silence_th_msec().getValue()),
          Carried<decltype(dsproc_vad_v2_params::e_th_dB)>("vad-params e-th-dB",
                                                           v2.get_e_th_dB().getValue())};
}

std::vector<DeviceValue> RxGainValues(const LGCP::Gain& g) {
  return {Carried<decltype(dsproc_rx_gain_params::gain_dB)>("rx-gain gainDB",
                                                            g.get_gainDB().getValue())};
}

std::vector<DeviceValue> ToneFilterValues(const LGCP::ToneFilter& f) {
  return {Carried<decltype(dsproc_tone_filter_params::freq)>("tone-filter freq",
                                                             f.get_freq().getValue()),
          Carried<decltype(dsproc_tone_filter_params::duration_th_msec)>(
              "tone-filter duration-th-msec", f.get_duration_th_msec().getValue()),
          Carried<decltype(dsproc_tone_filter_params::det_lvl_dB)>(
              "tone-filter det-level-dB", f.get_det_level_dB().getValue())};
}

std::vector<DeviceValue> SelcalValues(const TERM::SelcalCommand& s) {
  if (!s.has_amp()) return {};
  return {Carried<decltype(selcal_dial_params::amp)>("selcal amp", s.get_amp().getValue())};
}
