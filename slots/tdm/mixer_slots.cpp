#include "slots/tdm/mixer_slots.h"

#include <iostream>

#include "base/ext_header.h"
#include "hw/hw_mux.h"
#include "slots/tdm/mixer_unit.h"

namespace Mixer {

namespace {

using P = LGCP::IoctlParams;

// Frees the slot's switch channel and gives the slot back to its unit.
template <class S>
bool release(S& slot) {
  HwMux::instance().Disable(slot.timeslot);
  slot.mixer.Release(slot);
  return true;
}

}  // namespace

MixerSlot::MixerSlot(Mixer& mixer, int number, int timeslot)
    : mixer(mixer), number(number), timeslot(timeslot) {}

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

bool MixerSlot::CommonIoctl(const LGCP::IoctlParams& p) {
  switch (p.currentSelection()) {
    case P::e_translateDTMF:
      translateDTMF(p.get_translateDTMF());
      return true;
    case P::e_dtmf_params:
      return configureDTMF(p.get_dtmf_params());
    case P::e_vad_params:
      return configureVAD(p.get_vad_params());
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
      if (d.has_selcal()) {
        refusalLogs.write(std::cerr, &mixer,
                          "error: selcal delay isn't supported for mixer!!! Set to zero.");
      }
      configureDelays(d.has_rx() ? static_cast<unsigned>(d.get_rx().getValue()) : 0,
                      d.has_tx() ? static_cast<unsigned>(d.get_tx().getValue()) : 0, 0);
      return true;
    }
    case P::e_tone_filter: {
      const LGCP::ToneFilter& f = p.get_tone_filter();
      configureToneFilter(static_cast<unsigned>(f.get_freq().getValue()),
                          f.get_enable().getValue() ? 1 : 0, f.get_duration_th_msec().getValue(),
                          f.get_det_level_dB().getValue());
      return true;
    }
    default:
      return false;
  }
}

bool TdmInput::IBeforeDestroy() { return release(*this); }

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
    case P::e_rx_gain:
      configureRxGain(static_cast<int8_t>(p.get_rx_gain().get_gainDB().getValue()));
      return true;
    default:
      return CommonIoctl(p);
  }
}

bool TdmOutput::IBeforeDestroy() { return release(*this); }

bool TdmOutput::Ioctl(const LGCP::IoctlParams& p) {
  switch (p.currentSelection()) {
    case P::e_dtmf_disable:
      return disableToneGenerator(false);
    case P::e_dtmf_reject_disable:
      return enableDTMFReject(false);
    case P::e_tone_gen_enable: {
      const LGCP::ToneGenerator& g = p.get_tone_gen_enable();
      disableToneGenerator(false);
      enableToneGenerator(static_cast<uint16_t>(g.get_freq().getValue()), 0,
                          static_cast<uint16_t>(g.get_amp().getValue()), 0);
      return true;
    }
    case P::e_tone_gen_disable:
      disableToneGenerator(true);
      return true;
    default:
      return CommonIoctl(p);
  }
}

}  // namespace Mixer
