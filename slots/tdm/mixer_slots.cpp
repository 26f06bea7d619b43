#include "slots/tdm/mixer_slots.h"

#include <iostream>

#include "base/ext_header.h"
#include "hw/dsproc_records.h"
#include "hw/tonec_records.h"
#include "slotbase/dsp_values.h"
#include "slotbase/output_owner.h"
#include "slotbase/slots.h"
#include "slots/tdm/mixer_unit.h"

namespace Mixer {

namespace {

using P = LGCP::IoctlParams;

// Frees the slot's switch channel and gives the slot back to its unit. The channel is also the
// way into the unit's input of the same number: an output leaves it to a live input there.
template <class S>
bool release(S& slot, bool disable) {
  if (disable) OutputOwner::Disable(slot, slot.timeslot);
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
  // A steady tone holds the generator as a cadence does; a slot that does not hold it leaves
  // alone what the other slot of the channel plays.
  if (!TonecReceiver::holds(TonecReceiver::Hold::kGenerator)) return;
  enableSilence();
  disableToneGenerator(true);
}

void MixerSlot::dsproc_tone_flt_event(const ::dsproc_tone_event* event) {
  processToneFltEvent(event);
}

void MixerSlot::dsproc_flags_event(const ::dsproc_flags_event* event) { processFlagsEvent(event); }

void MixerSlot::PutHeader(std::ostream& os) const { Mixer::PutHeader(os, unit); }

bool MixerSlot::Ioctl(const LGCP::IoctlParams& p) {
  if (KindIoctl(p)) return true;
  const char* tonec = TonecReceiver::take_refused_claim();
  const char* dsproc = DSProcReceiver::take_refused_claim();
  if (const char* held = tonec ? tonec : dsproc) {
    refusalLogs.write(std::cerr, "held by the other slot of the channel", [&](std::ostream& os) {
      os << ext::header(this) << held << " of switch channel " << timeslot
         << " held by the other slot of the channel";
    });
    Slots::instance().Refuse(LGCP::ErrorCause::insufficientResources);
  }
  return false;
}

bool MixerSlot::CommonIoctl(const LGCP::IoctlParams& p) {
  switch (p.currentSelection()) {
    case P::e_translateDTMF:
      return Carries(TranslateDtmfValues(p.get_translateDTMF())) &&
             translateDTMF(p.get_translateDTMF());
    case P::e_dtmf_params:
      return configureDTMF(p.get_dtmf_params());
    case P::e_vad_params:
      return Carries(VadValues(p.get_vad_params())) && configureVAD(p.get_vad_params());
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
      return Carries(ToneFilterValues(f)) &&
             configureToneFilter(static_cast<unsigned>(f.get_freq().getValue()),
                                 f.get_enable().getValue() ? 1 : 0,
                                 f.get_duration_th_msec().getValue(),
                                 f.get_det_level_dB().getValue());
    }
    default:
      return false;
  }
}

bool TdmInput::IBeforeDestroy() { return release(*this, true); }

bool TdmInput::KindIoctl(const LGCP::IoctlParams& p) {
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
      if (!Carries(RxGainValues(p.get_rx_gain()))) return false;
      return configureRxGain(static_cast<int8_t>(p.get_rx_gain().get_gainDB().getValue()));
    }
    default:
      return CommonIoctl(p);
  }
}

bool TdmOutput::IBeforeDestroy() { return release(*this, !mixer.InputOn(number)); }

bool TdmOutput::KindIoctl(const LGCP::IoctlParams& p) {
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
      return enableSteadyTone(static_cast<Freq>(freq), 0, static_cast<Level>(amp), 0);
    }
    case P::e_tone_gen_disable:
      disableToneGenerator(true);
      return true;
    // The output reports no VAD or SD events, so it never switches them on: TRUE is answered
    // unsupported, nothing sent, and leaves them to the input of its channel.
    case P::e_vad_enable:
      return !p.get_vad_enable().getValue() && CommonIoctl(p);
    case P::e_sd_enable:
      return !p.get_sd_enable().getValue() && CommonIoctl(p);
    default:
      return CommonIoctl(p);
  }
}

}  // namespace Mixer
