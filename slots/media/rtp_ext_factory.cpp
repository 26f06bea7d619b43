#include "slots/media/rtp_ext_factory.h"

#include <unistd.h>

#include <iostream>

#include "asn1/modules/term.h"
#include "base/ext_header.h"
#include "radio/ed137_radio_control.h"
#include "radio/radio_values.h"
#include "slotbase/slots.h"
#include "slots/media/rtp_ext_slot.h"
#include "slots/media/rtp_setup.h"

namespace {

// The radio request of an rtp create whose status has the alternative `alternative`; null for
// any other create.
const TERM::RtpRadioRequest* radio_of(const LGCP::CreateParams& params, int alternative) {
  if (!params.is_rtp() || !params.get_rtp().get_codecRTP().has_radio()) return nullptr;
  const TERM::RtpRadioRequest& radio = params.get_rtp().get_codecRTP().get_radio();
  return radio.get_status().currentSelection() == alternative ? &radio : nullptr;
}

// The header-extension engine's words of an ED-137 session: the keep-alive period in packets
// (a packet factor of 0 counts as 2), times sigtime when it is set.
rtp_ext_init_params ed137_init(const RTPSignalling::ED137RadioParams& radio,
                               const rtp_connection_params& session) {
  const uint32_t factor = session.packet_factor ? session.packet_factor : 2;
  rtp_ext_init_params init{0x0167, 0, 1, 123, radio.keepalive_period / (factor * 10), 1};
  if (radio.sigtime != 0) {
    init.word3 *= radio.sigtime;
    init.word4 = radio.sigtime;
  }
  return init;
}

}  // namespace

RtpRadioFactory::RtpRadioFactory(const char* name) : capacity_(name, refusalLogs) {
  capacity_.IQuery();
}

void RtpRadioFactory::Query(LGCP::Resources& report) {
  capacity_.IQuery();
  capacity_.Fill(report);
}

bool RtpRadioFactory::Carries(const TERM::RtpRadioRequest& radio) {
  const std::string refusal = RTPSignalling::RefusalOf(radio);
  if (refusal.empty()) return true;
  refusalLogs.write(std::cerr, this, "radio refused: ", refusal);
  Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
  return false;
}

bool RtpRadioFactory::SetUp(RtpSetup& setup, const TERM::RtpRadioRequest& radio) {
  const bool bss = radio.has_bss_enable() && radio.get_bss_enable().getValue();
  return setup.CheckPayload() && setup.OpenRtcp(false) && setup.OpenSession() &&
         setup.FillParams() && setup.BeginSession() && setup.AddChannel(bss ? 1 : 0);
}

void RtpRadioFactory::Finish(RtpExtSlot& slot, RtpSetup& setup,
                             const TERM::RtpRadioRequest& radio) {
  slot.SetChannelWord(setup.channel.reserved);
  slot.startRTPC(setup.rtcp, setup.RtcpPeer());
  slot.SetEcho(setup.rtp());
  slot.ConfigureRadio(radio);
}

RtpED137Factory& RtpED137Factory::instance() {
  static RtpED137Factory factory;
  return factory;
}

Slot* RtpED137Factory::INewSlot(const LGCP::CreateParams& params) {
  const TERM::RtpRadioRequest* radio = radio_of(params, TERM::RadioStatus::e_ed_137);
  if (!radio) return nullptr;
  const LGCP::CreateRtpParams& create = params.get_rtp();
  std::clog << ext::header(this) << "do create rtp ext ED137: " << create.get_codecRTP()
            << std::endl;
  if (!Carries(*radio)) return nullptr;
  RtpSetup setup(create, capacity_);
  if (!SetUp(setup, *radio)) return nullptr;
  RTPSignalling::ED137RadioParams ed137;
  const TERM::ED137RadioStatus& status = radio->get_status().get_ed_137();
  if (status.has_radio_response()) ed137.Init(status.get_radio_response());
  const rtp_ext_attach_session_params attach{setup.session.get(), -1};
  auto* slot = new RtpED137RadioGWSlot(setup.channel.tdm, setup.session, setup.params,
                                       radio->get_status(), attach,
                                       ed137_init(ed137, setup.params), ed137);
  Finish(*slot, setup, *radio);
  return slot;
}

RtpLEMZFactory& RtpLEMZFactory::instance() {
  static RtpLEMZFactory factory;
  return factory;
}

Slot* RtpLEMZFactory::INewSlot(const LGCP::CreateParams& params) {
  const TERM::RtpRadioRequest* radio = radio_of(params, TERM::RadioStatus::e_lemz);
  if (!radio) return nullptr;
  const LGCP::CreateRtpParams& create = params.get_rtp();
  const TERM::RtpParams& rtp = create.get_codecRTP();
  std::clog << ext::header(this) << "do create rtp ext LEMZ: " << rtp << std::endl;
  if (!Carries(*radio)) return nullptr;
  RtpSetup setup(create, capacity_);
  if (!SetUp(setup, *radio)) return nullptr;
  const bool only_rtp = rtp.has_rtp_e2m() && rtp.get_rtp_e2m().has_mode() &&
                        rtp.get_rtp_e2m().get_mode().is_only_rtp();
  RtpLEMZRadioGWSlot* slot;
  if (only_rtp) {
    const TERM::RtpExtDescription& other = rtp.get_rtp_e2m().get_mode().get_only_rtp();
    const rtp_attach_session_params attach{other.get_fd().getValue(), other.get_pid().getValue()};
    slot = new RtpLEMZRadioGWSlot(setup.channel.tdm, setup.session, setup.params,
                                  radio->get_status(), attach);
  } else {
    const rtp_ext_init_params init{0x1337, 0, 0, 0, 0, 0};
    const rtp_ext_attach_session_params attach{setup.session.get(),
                                               static_cast<int32_t>(::getpid())};
    slot = new RtpLEMZRadioGWSlot(setup.channel.tdm, setup.session, setup.params,
                                  radio->get_status(), attach, init);
  }
  Finish(*slot, setup, *radio);
  return slot;
}
