#include "radio/ed137_radio_control.h"

#include <arpa/inet.h>
#include <poll.h>

#include <iostream>

#include "asn1/modules/term.h"
#include "base/inet4_addr.h"
#include "base/mux_clock.h"
#include "radio/radio_values.h"

namespace RTPSignalling {

namespace {

constexpr uint32_t kHighestPtt = TERM::ED137RadioPTT::emergency_ptt_on;

void header_from(const TERM::ED137RadioHeader& h, ED137RadioState& s) {
  s.ptt = static_cast<uint32_t>(h.get_ptt().asInt());
  s.squ = static_cast<uint32_t>(h.get_squ().asInt());
  s.ptt_id = h.get_ptt_id().getValue();
  s.ptt_mute = h.get_ptt_mute().getValue();
  s.ptt_summation = h.get_ptt_summation().getValue();
  s.sct = h.get_sct().getValue();
}

void sqi_from(const TERM::ED137RadioExtensionSQI& sqi, ED137RadioState& s) {
  s.flags |= ED137RadioState::kSqi | ED137RadioState::kRx;
  s.bss_method = static_cast<uint32_t>(sqi.get_bss_method().asInt());
  s.bss_quality = sqi.get_bss_quality().getValue();
}

TERM::ED137RadioHeader header_of(const ED137RadioState& s) {
  TERM::ED137RadioHeader h;
  h.set_ptt(static_cast<TERM::ED137RadioPTT::NamedNumber>(s.ptt));
  h.set_squ(static_cast<TERM::ED137RadioSQU::NamedNumber>(s.squ != 0));
  h.set_ptt_id(s.ptt_id & 63);
  h.set_ptt_mute(s.ptt_mute != 0);
  h.set_ptt_summation(s.ptt_summation != 0);
  h.set_sct(s.sct != 0);
  return h;
}

TERM::ED137RadioExtensionSQI sqi_of(const ED137RadioState& s) {
  TERM::ED137RadioExtensionSQI sqi;
  sqi.set_bss_method(static_cast<TERM::ED137RadioBSSMethod::NamedNumber>(s.bss_method));
  sqi.set_bss_quality(s.bss_quality & 31);
  return sqi;
}

// The state a received packet stands for, its source being the packet's.
ED137RadioState decode(const r2s_proto& p) {
  ED137RadioState s;
  s.session_addr = p.source_addr;
  s.session_ssrc = p.source_ssrc;
  if (p.type == kR2sTx) {
    s.flags = ED137RadioState::kTx;
    s.ptt = p.header[0];
    s.ptt_id = p.header[1];
    s.ptt_mute = p.header[2];
    s.ptt_summation = p.header[3];
  } else if (p.type == kR2sRx) {
    s.flags = ED137RadioState::kRx;
    s.ptt = p.header[0];
    s.squ = p.header[1];
    s.ptt_id = p.header[2];
    s.ptt_mute = p.header[3];
    s.ptt_summation = p.header[4];
    s.sct = p.header[5];
    for (uint32_t i = 0; i < p.count && i < kR2sMaxAdditionals; ++i) {
      if (p.additionals[i].kind != kR2sRxSqi) continue;
      s.flags |= ED137RadioState::kSqi;
      s.bss_quality = p.additionals[i].data[0];
      s.bss_method = p.additionals[i].data[1];
    }
  }
  return s;
}

}  // namespace

void ED137RadioParams::Init(const TERM::ED137RadioResponse& r) {
  radio_type = static_cast<uint32_t>(r.get_type().asInt());
  txrx_mode = static_cast<uint32_t>(r.get_txrxmode().asInt());
  if (r.has_transmission_depend_on_squ())
    transmission_depend_on_squ = r.get_transmission_depend_on_squ().getValue();
  if (r.has_sigtime()) sigtime = r.get_sigtime().getValue();
  if (r.has_r2s_keepalive_period()) keepalive_period = r.get_r2s_keepalive_period().getValue();
  if (r.has_r2s_keepalive_multiplier())
    keepalive_multiplier = r.get_r2s_keepalive_multiplier().getValue();
}

bool ED137RadioState::IsEqual(const ED137RadioState& o) const {
  return flags == o.flags && ptt == o.ptt && squ == o.squ && ptt_id == o.ptt_id &&
         ptt_mute == o.ptt_mute && ptt_summation == o.ptt_summation && sct == o.sct &&
         bss_method == o.bss_method && bss_quality == o.bss_quality &&
         session_addr == o.session_addr && session_ssrc == o.session_ssrc;
}

bool ED137RadioControl::SendASNToChan(const TERM::RadioStatus& status) {
  if (!status.is_ed_137() || Refuses(RefusalOf(status))) return false;
  const TERM::ED137RadioStatus& s = status.get_ed_137();
  ED137RadioState state = radio_to_chan_;
  state.flags = ED137RadioState::kRx;
  header_from(s.get_header(), state);
  if (s.has_sqi()) sqi_from(s.get_sqi(), state);
  SendRadioStateToChan(state);
  return true;
}

bool ED137RadioControl::SendASNToChan(const TERM::RadioModifier& modifier) {
  if (!modifier.is_ed_137() || Refuses(RefusalOf(modifier))) return false;
  const TERM::ED137RadioModifier& m = modifier.get_ed_137();
  ED137RadioState state = radio_to_chan_;
  in_addr_t addr = 0;
  INet4::parse_dotted(m.get_addr().get_session_addr(), addr);
  state.flags = 0;
  state.session_addr = addr;
  state.session_ssrc = m.get_addr().get_session_ssrc().getValue();
  if (m.get_params().is_tx()) {
    state.flags |= ED137RadioState::kTx;
    header_from(m.get_params().get_tx().get_header(), state);
  } else {
    const TERM::ED137RadioRxCommand& rx = m.get_params().get_rx();
    state.flags |= ED137RadioState::kRx;
    header_from(rx.get_header(), state);
    if (rx.has_sqi()) sqi_from(rx.get_sqi(), state);
  }
  SendRadioStateToChan(state);
  return true;
}

bool ED137RadioControl::GetSQU() { return radio_to_chan_.squ != 0; }

void ED137RadioControl::SendRadioStateToChan(const ED137RadioState& state) {
  const rtp_ext_init_params& init = init_params();
  const bool needed = static_cast<int32_t>(init.word4) <= 0 ||
                      static_cast<int32_t>(init.word3) <= 0 || !state.IsEqual(radio_to_chan_);
  if (!needed) return;
  PutProtoFromRadioToChan(state);
  r2s_proto packet;
  r2s_proto_init(&packet, 0);
  if (EncodeProto(state, packet) == 0) {
    SendProtoToChan(packet);
    const uint32_t now = Mux::milliseconds();
    set_last_status(now);
    if (workstation() == 0 && state.IsRx()) last_rx_sent_ = now;
  }
  in_addr source{radio_to_chan_.session_addr};
  UpdateAccess(radio_to_chan_.ptt != 0, source);
}

int ED137RadioControl::SendProtoToChan(r2s_proto& packet) {
  return PackAndWrite(packet, r2s_proto_pack);
}

void ED137RadioControl::OnRtpExtEvent(int, short revents) {
  if (!(revents & POLLIN)) return;
  set_last_status(Mux::milliseconds());
  ReceiveLoop(
      revents, current_, pending_, [](r2s_proto& r) { r2s_proto_init(&r, 0); },
      [this](r2s_proto& r, unsigned char* buf, int n) { return Unpack(r, buf, n); },
      [](r2s_proto& a, r2s_proto& b) { return cmp_r2s_proto_source(&a, &b) != 0; },
      [this](r2s_proto& r) { OnRtpProtoRXEvent(r); });
}

int ED137RadioControl::Unpack(r2s_proto& r, unsigned char* buf, int n) {
  const int result = r2s_proto_unpack_tx(&r, buf, n);
  if (result != 0) {
    LogDropped(n < 2 ? "packet too short" : "feature too long", [n](std::ostream& log) {
      if (n < 2)
        log << "packet of " << n << " bytes too short";
      else
        log << "feature longer than the packet of " << n << " bytes";
    });
    return result;
  }
  // A PTT type the radio status cannot carry is not a packet of the standard.
  if (r.header[0] > kHighestPtt) {
    const uint32_t ptt = r.header[0];
    LogDropped("PTT type out of range",
               [ptt](std::ostream& log) { log << "PTT type " << ptt << " out of range"; });
    return -1;
  }
  last_keepalive_ = Mux::milliseconds();
  return 0;
}

void ED137RadioControl::OnRtpProtoRXEvent(const r2s_proto& packet) {
  const ED137RadioState state = decode(packet);
  if (!AccessFormChanToRadio(state)) return;
  if (state.IsEqual(chan_to_radio_) && age_ms(last_status(), last_report_) < interval()) return;
  PutProtoFromChanToRadio(state);

  TERM::RtpRadioRequest request;
  TERM::ED137RadioStatus& status = request.get_status().select_ed_137();
  status.set_header(header_of(radio_to_chan_));
  status.set_sqi(sqi_of(radio_to_chan_));
  TERM::ED137RadioModifier& m = request.include_request().select_ed_137();
  m.get_addr().set_session_addr(INet4::dotted(state.session_addr));
  m.get_addr().set_session_ssrc(state.session_ssrc);
  if (state.IsRx()) {
    TERM::ED137RadioRxCommand& rx = m.get_params().select_rx();
    rx.set_header(header_of(state));
    if (state.HasSqi()) rx.set_sqi(sqi_of(state));
  } else {
    m.get_params().select_tx().set_header(header_of(state));
  }
  last_report_ = last_status();
  if (notify()) notify()->RadioControlNotify(request);
}

int ED137RadioControl::PutProtoFromRadioToChan(const ED137RadioState&) { return 0; }
int ED137RadioControl::PutProtoFromChanToRadio(const ED137RadioState&) { return 0; }
bool ED137RadioControl::AccessFormChanToRadio(const ED137RadioState&) { return true; }
int ED137RadioControl::EncodeProto(const ED137RadioState&, r2s_proto&) { return 0; }

int ED137RadioGWControl::PutProtoFromRadioToChan(const ED137RadioState& state) {
  radio_to_chan_ = state;
  return 0;
}

int ED137RadioGWControl::PutProtoFromChanToRadio(const ED137RadioState& state) {
  chan_to_radio_ = state;
  return 0;
}

bool ED137RadioGWControl::AccessFormChanToRadio(const ED137RadioState&) {
  const bool transmits = params_.radio_type >= 2 && params_.radio_type <= 4;
  return transmits && (params_.txrx_mode == 0 || params_.txrx_mode == 2);
}

int ED137RadioGWControl::EncodeProto(const ED137RadioState& s, r2s_proto& packet) {
  if (s.IsRx()) {
    r2s_proto_init(&packet, kR2sRx);
    r2s_proto_set_rx_header(&packet, s.ptt, s.squ, s.ptt_id, s.ptt_mute, s.ptt_summation, s.sct);
    if (s.HasSqi()) r2s_proto_add_rx_sqi(&packet, s.bss_quality, s.bss_method);
    return 0;
  }
  if (s.IsTx()) {
    r2s_proto_init(&packet, kR2sTx);
    r2s_proto_set_tx_header(&packet, s.ptt, s.ptt_id, s.ptt_mute, s.ptt_summation);
    return 0;
  }
  return -1;
}

unsigned long ED137RadioGWControl::ProcessRadioStatus(unsigned long now_ms,
                                                      unsigned long interval_ms) {
  const uint32_t now = static_cast<uint32_t>(now_ms);
  const uint32_t interval = static_cast<uint32_t>(interval_ms);
  const uint32_t timeout = params_.keepalive_period * params_.keepalive_multiplier;
  if (timeout != 0 && age_ms(now, last_keepalive_) >= timeout && notify())
    notify()->RadioControlNotify(kKeepAliveLost);

  if (age_ms(now, last_rx_sent_) >= interval) {
    // The keep-alive is an RX header even after a TX command, keeping its signal quality.
    radio_to_chan_.flags = (radio_to_chan_.flags & ED137RadioState::kSqi) | ED137RadioState::kRx;
    r2s_proto packet;
    r2s_proto_init(&packet, 0);
    if (EncodeProto(radio_to_chan_, packet) == 0) {
      SendProtoToChan(packet);
      last_rx_sent_ = now;
    }
  }
  const uint32_t elapsed = age_ms(now, last_rx_sent_);
  return elapsed != 0 && elapsed < interval ? interval - elapsed + 10 : interval;
}

}  // namespace RTPSignalling
