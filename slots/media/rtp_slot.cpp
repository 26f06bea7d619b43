#include "slots/media/rtp_slot.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"
#include "base/ext_header.h"
#include "hw/device_events.h"
#include "slotbase/dsp_values.h"
#include "slotbase/output_owner.h"
#include "slotbase/slots.h"
#include "slots/media/rtp_setup.h"

namespace {

constexpr unsigned kRtcpBuffer = 1024;

}  // namespace

const char RtpSlot::kCname[] = "Marbrook Sarvello";
const char RtpSlot::kEmail[] = "gateway@orvexd.invalid";
const char RtpSlot::kPhone[] = "+000 0000 0000";

RtpSlot::RtpSlot(int channel, const Fd& session, const rtp_connection_params& params)
    : channel(channel), session_(session), params_(params), creation_pt(params.rx_pt) {
  event_.Bind("RtpSlot::OnRtpEvent", &RtpSlot::OnRtpEvent, this);
  event_.Schedule(session_, POLLIN);
}

RtpSlot::~RtpSlot() {
  send(RTPC::BYE(params_.ssrc, "session end"));
  rtcp_.close();
  // A slot that lost its channel switched its receivers off then.
  if (channel >= 0) {
    Hardware::TonecReceiver::CleanBeforeDestroy();
    Hardware::DSProcReceiver::CleanBeforeDestroy();
  }
  event_.Release();
}

void RtpSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

int RtpSlot::request(uint32_t number) { return Device::ioctl(session_.get(), number, 0ul); }

int RtpSlot::packet_detector_off() {
  uint32_t type = kRtpEventPD;
  return Device::ioctl(session_.get(), RtpIoctl::kEventOff, &type, sizeof type);
}

bool RtpSlot::IBeforeDestroy() {
  if (session_) {
    request(RtpIoctl::kStop10);
    request(RtpIoctl::kStop3);
    request(RtpIoctl::kStop11);
    packet_detector_off();
    session_.close();
  }
  if (channel >= 0) OutputOwner::Disable(*this, channel);
  return true;
}

bool RtpSlot::IOnInputStream() {
  if (!has_session()) return false;
  if (!squelch_gated) {
    request(RtpIoctl::kInputOn);
    input_on = true;
  }
  return true;
}

void RtpSlot::IOnInputRelease() {
  if (has_session()) request(RtpIoctl::kInputOff);
  input_on = false;
}

void RtpSlot::startRTPC(const Fd& socket, const sockaddr_in& peer) {
  peer_ = peer;
  if (&socket != &rtcp_) rtcp_ = socket;
  RTPC::SDES sdes(params_.ssrc);
  sdes.add(RTPC::SDES::Item::CNAME, kCname);
  sdes.add(RTPC::SDES::Item::EMAIL, kEmail);
  sdes.add(RTPC::SDES::Item::PHONE, kPhone);
  send(sdes);
}

void RtpSlot::send(const RTPC::Msg& message) {
  char buffer[kRtcpBuffer];
  const unsigned n = message.encode(buffer, sizeof buffer);
  if (n == 0 || !rtcp_) return;
  if (::sendto(rtcp_.get(), buffer, n, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&peer_),
               sizeof peer_) < 0) {
    std::cerr << ext::header(this) << "RTCP send fail: " << std::strerror(errno) << std::endl;
  }
}

void RtpSlot::SetEcho(const TERM::RtpParams& rtp) {
  if (rtp.has_echo() && rtp.get_echo().get_suppressor().getValue()) {
    echoCancel(rtp.get_echo().get_canceller().getValue());
  }
}

bool RtpSlot::Ioctl(const LGCP::IoctlParams& p) {
  const int which = p.currentSelection();
  if (channel < 0 && which != LGCP::IoctlParams::e_encoder_mode &&
      which != LGCP::IoctlParams::e_decoder_mode) {
    // The receivers' requests and the engine's would name no channel.
    refusalLogs.write(std::cerr, this, "no RTP session: only a codec change is taken");
    Slots::instance().Refuse(LGCP::ErrorCause::insufficientResources);
    return false;
  }
  switch (which) {
    case LGCP::IoctlParams::e_echoSuppressor:
      return echoCancel(p.get_echoSuppressor().getValue());
    case LGCP::IoctlParams::e_activateWaitTone:
      activateAudibleCall();
      return true;
    case LGCP::IoctlParams::e_deactivateWaitTone:
      cancelAudibleCall();
      return true;
    case LGCP::IoctlParams::e_translateDTMF:
      return Carries(TranslateDtmfValues(p.get_translateDTMF())) &&
             translateDTMF(p.get_translateDTMF());
    case LGCP::IoctlParams::e_dtmf_params:
      return configureDTMF(p.get_dtmf_params());
    case LGCP::IoctlParams::e_dtmf_enable:
      return enableDTMF(p.get_dtmf_enable().getValue());
    case LGCP::IoctlParams::e_encoder_mode:
      return change_payload(p, p.get_encoder_mode(), true);
    case LGCP::IoctlParams::e_decoder_mode:
      return change_payload(p, p.get_decoder_mode(), false);
    case LGCP::IoctlParams::e_vad_params:
      return Carries(VadValues(p.get_vad_params())) && configureVAD(p.get_vad_params());
    case LGCP::IoctlParams::e_vad_enable:
      return enableVAD(p.get_vad_enable().getValue());
    case LGCP::IoctlParams::e_vad_disable:
      return disableVAD();
    case LGCP::IoctlParams::e_dtmf_reject_enable:
      return enableDTMFReject(p.get_dtmf_reject_enable().getValue());
    case LGCP::IoctlParams::e_sd_params:
      return configureSD();
    case LGCP::IoctlParams::e_sd_enable:
      return enableSD(p.get_sd_enable().getValue());
    case LGCP::IoctlParams::e_sd_disable:
      return disableSD();
    case LGCP::IoctlParams::e_pd_enable:
      return enablePD(p.get_pd_enable());
    case LGCP::IoctlParams::e_pd_disable:
      return disablePD();
    case LGCP::IoctlParams::e_rx_gain:
      return Carries(RxGainValues(p.get_rx_gain())) &&
             configureRxGain(static_cast<int8_t>(p.get_rx_gain().get_gainDB().getValue()));
    case LGCP::IoctlParams::e_tone_filter: {
      const LGCP::ToneFilter& f = p.get_tone_filter();
      return Carries(ToneFilterValues(f)) &&
             configureToneFilter(static_cast<unsigned>(f.get_freq().getValue()),
                                 f.get_enable().getValue() ? 1 : 0,
                                 f.get_duration_th_msec().getValue(),
                                 f.get_det_level_dB().getValue());
    }
    case LGCP::IoctlParams::e_selcal:
      return Carries(SelcalValues(p.get_selcal())) && translateSelcal(p.get_selcal());
    default:
      return false;
  }
}

uint16_t RtpSlot::translate_payload(const LGCP::CodecMode& mode) const {
  switch (mode.asInt()) {
    case LGCP::CodecMode::alaw:
      return 8;
    case LGCP::CodecMode::ulaw:
      return 0;
    default:
      return creation_pt;
  }
}

bool RtpSlot::change_payload(const LGCP::IoctlParams& p, const LGCP::CodecMode& mode, bool tx) {
  std::clog << ext::header(this) << "do restart RTP session (change tx payload):" << p;
  const uint16_t pt = translate_payload(mode);
  uint16_t& current = tx ? params_.tx_pt : params_.rx_pt;
  // After a failed restart the slot has no session: the same codec asked again restarts it.
  if (pt == current && has_session()) {
    std::clog << " - Nothing to do" << std::endl;
    return true;
  }
  current = pt;
  const bool had_channel = channel >= 0;
  if (restart()) {
    std::clog << " - OK" << std::endl;
    if (had_channel) {
      restore_settings();
    } else {
      RtpSlot::IAfterCreate();
    }
    return true;
  }
  std::clog << std::endl;
  refusalLogs.write(std::cerr, this, "fail to restart RTP session!");
  if (had_channel) lose_channel();
  Slots::instance().Refuse(LGCP::ErrorCause::insufficientResources);
  return false;
}

void RtpSlot::lose_channel() {
  // The engine gave the channel back with the session: another slot may get it next, and must
  // find no path, stream, receiver setting or switched output of this one there.
  OnChangeInputStream(false);
  OnChangeOutputStream(false);
  Hardware::TonecReceiver::CleanBeforeDestroy();
  Hardware::DSProcReceiver::CleanBeforeDestroy();
  OutputOwner::Disable(*this, channel);
  channel = -1;
  input_on = false;
  pd_on = false;
}

bool RtpSlot::restart() {
  // The event's duplicate would keep the old session open: it goes first, and comes back on
  // the new session.
  event_.Release();
  session_.close();
  Fd fd(OpenRtpSession());
  if (!fd) return false;
  rtp_connection_params params = params_;
  rtp_channel_info info{channel, -1, -1, channel_word_};
  if (!BeginRtpSession(fd.get(), params) || !AddRtpChannel(fd.get(), info)) return false;
  channel = info.tdm;
  session_ = std::move(fd);
  event_.Schedule(session_, POLLIN);
  return true;
}

void RtpSlot::restore_settings() {
  if (input_on) request(RtpIoctl::kInputOn);
  if (pd_on) packet_detector_on(pd_timeout);
  Hardware::TonecReceiver::RestoreDTMF();
}

bool RtpSlot::enablePD(const LGCP::PDParams& pd) {
  const uint32_t timeout = static_cast<uint32_t>(pd.get_timeout().getValue());
  if (!packet_detector_on(timeout)) return false;
  pd_on = true;
  pd_timeout = timeout;
  return true;
}

bool RtpSlot::packet_detector_on(uint32_t timeout) {
  rtp_event_params record{};
  record.type = kRtpEventPD;
  record.timeout = timeout;
  record.timeout2 = timeout;
  if (Device::ioctl(session_.get(), RtpIoctl::kEventOn, &record, sizeof record) == -1) {
    ErrnoSuffix error;
    refusalLogs.write(std::cerr, "RTP SET EVENT PD fail", [&](std::ostream& os) {
      os << ext::header(this) << "RTP SET EVENT PD fail:" << error;
    });
    return false;
  }
  std::clog << ext::header(this) << "RTP SET EVENT PD " << "timeout="
            << static_cast<int32_t>(timeout) << std::endl;
  return true;
}

bool RtpSlot::disablePD() {
  if (packet_detector_off() == -1) {
    ErrnoSuffix error;
    refusalLogs.write(std::cerr, "RTP RESET EVENT PD fail", [&](std::ostream& os) {
      os << ext::header(this) << "RTP RESET EVENT PD fail:" << error;
    });
    return false;
  }
  std::clog << ext::header(this) << "RTP RESET EVENT PD" << std::endl;
  pd_on = false;
  return true;
}

void RtpSlot::OnRtpEvent(int fd, short revents) {
  drain_events<rtp_event>(event_, "rtp", fd, revents, [this](const rtp_event& e) {
    std::clog << ext::header(this) << "rtp event: " << " type=" << e.type << std::endl;
    processRtpEvent(e);
  });
}

void RtpSlot::tonec_event(const Hardware::TonecReceiver::Params& params) {
  processTonecEvent(params);
}

void RtpSlot::dsproc_vad_event(const Hardware::DSProcVADEvent& event) { processVADEvent(event); }

void RtpSlot::dsproc_bss_event(const ::dsproc_bss_event* event) { processBSSEvent(event); }

void RtpSlot::dsproc_sd_event(const Hardware::DSProcSDEvent& event) { processSDEvent(event); }

void RtpSlot::dsproc_tone_flt_event(const ::dsproc_tone_event* event) {
  processToneFltEvent(event);
}

void RtpSlot::dsproc_flags_event(const ::dsproc_flags_event* event) {
  // The Selcal flag cleared: the code is dialled and the generator is free.
  const uint32_t selcal = DsprocFlag::kSelcal;
  if ((event->mask & selcal) && !(event->flags & selcal)) selcal_done();
  processFlagsEvent(event);
}
