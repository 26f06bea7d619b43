#include "slots/media/rtp_ext_slot.h"

#include "hw/rtp_records.h"
#include "slotbase/slots.h"

using RTPSignalling::RadioControl;

RtpExtSlot::RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
                       const TERM::RadioStatus& status)
    : RtpSlot(channel, session, params), status_(status) {}

RtpExtSlot::~RtpExtSlot() {
  if (controller_) {
    controller_->SetNotify(nullptr);
    controller_->SetTimerEnable(false);
  }
}

void RtpExtSlot::SetController(std::unique_ptr<RadioControl> controller) {
  controller_ = std::move(controller);
  controller_->SetNotify(this);
}

void RtpExtSlot::ConfigureRadio(const TERM::RtpRadioRequest& radio) {
  // An absent delay has no value to read: it counts as 0.
  if (radio.has_rx_delay() || radio.has_tx_delay() || radio.has_selcal_delay()) {
    const int32_t rx = radio.has_rx_delay() ? radio.get_rx_delay().getValue() : 0;
    const int32_t tx = radio.has_tx_delay() ? radio.get_tx_delay().getValue() : 0;
    const int32_t selcal = radio.has_selcal_delay() ? radio.get_selcal_delay().getValue() : 0;
    configureDelays(static_cast<unsigned>(rx), static_cast<unsigned>(tx),
                    static_cast<unsigned>(selcal));
  }
  if (radio.has_bss_enable()) enableBSS(radio.get_bss_enable().getValue());
  if (radio.has_ng_enable()) enableNG(radio.get_ng_enable().getValue());
}

void RtpExtSlot::IAfterCreate() {
  RtpSlot::IAfterCreate();
  if (!controller_) return;
  controller_->SendASNToChan(status_);
  GateInput();
}

bool RtpExtSlot::IBeforeDestroy() {
  // A slot without a session stopped the header-extension session before it lost the RTP one.
  if (controller_ && has_session()) controller_->RtpExtStop();
  RtpSlot::IBeforeDestroy();
  return true;
}

bool RtpExtSlot::Ioctl(const LGCP::IoctlParams& p) {
  if (!controller_) return RtpSlot::Ioctl(p);
  bool result;
  switch (p.currentSelection()) {
    case LGCP::IoctlParams::e_rtpExt: {
      const TERM::RadioModifier& m = p.get_rtpExt();
      result = controller_->SendASNToChan(m);
      // The controller refuses (and logs) a command of its protocol whose value the radio
      // cannot carry, or that would key it to no single host: an error of the command. One of
      // the other protocol is not supported.
      const bool own = m.is_lemz() == status_.is_lemz() && m.is_ed_137() == status_.is_ed_137();
      if (!result && own)
        Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
      break;
    }
    case LGCP::IoctlParams::e_encoder_mode:
    case LGCP::IoctlParams::e_decoder_mode:
      if (has_session()) controller_->RtpExtStop();
      // The factory's descriptor is long closed: the restarted session is the slot's own.
      result = RtpSlot::Ioctl(p);
      if (result) {
        controller_->SetRtpSession(session_);
        result = controller_->RtpExtStart(false);
      }
      break;
    default:
      result = RtpSlot::Ioctl(p);
  }
  GateInput();
  return result;
}

void RtpExtSlot::GateInput() {
  if (!squelch_gated || !has_session()) return;
  const bool squelch = controller_->GetSQU();
  if (squelch && !input_on) {
    request(RtpIoctl::kInputOn);
    input_on = true;
  } else if (!squelch && input_on) {
    request(RtpIoctl::kInputOff);
    input_on = false;
  }
}

void RtpExtSlot::RadioControlNotify(const TERM::RtpRadioRequest& request) {
  OnRtpRadioEvent(request);
}

void RtpExtSlot::RadioControlNotify(int cause) { OnAbort(cause); }

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session,
                                       const rtp_connection_params& params,
                                       const TERM::RadioStatus& status,
                                       const rtp_ext_attach_session_params& attach,
                                       const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params, status) {
  SetController(std::make_unique<RTPSignalling::LemzRadioGWControl>(channel, attach, init));
  controller()->SetTimerEnable(true);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session,
                                       const rtp_connection_params& params,
                                       const TERM::RadioStatus& status,
                                       const rtp_attach_session_params& attach)
    : RtpLEMZSlot(channel, session, params, status) {
  SetController(std::make_unique<RTPSignalling::LemzRadioGWControl>(channel, session_, attach));
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session,
                                       const rtp_connection_params& params,
                                       const TERM::RadioStatus& status,
                                       const rtp_ext_attach_session_params& attach,
                                       const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params, status) {
  SetController(std::make_unique<RTPSignalling::LemzRadioWSControl>(channel, attach, init));
  controller()->SetWorkstation(1);
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session,
                                         const rtp_connection_params& params,
                                         const TERM::RadioStatus& status,
                                         const rtp_ext_attach_session_params& attach,
                                         const rtp_ext_init_params& init,
                                         const RTPSignalling::ED137RadioParams& radio)
    : RtpED137Slot(channel, session, params, status) {
  squelch_gated = radio.transmission_depend_on_squ != 0;
  auto control = std::make_unique<RTPSignalling::ED137RadioGWControl>(channel, attach, init);
  control->SetParams(radio);
  control->SetTimerInterval(radio.keepalive_period * radio.keepalive_multiplier / 2);
  SetController(std::move(control));
  controller()->SetTimerEnable(true);
}
