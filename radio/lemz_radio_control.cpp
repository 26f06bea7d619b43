#include "radio/lemz_radio_control.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "asn1/modules/term.h"
#include "base/inet4_addr.h"
#include "base/mux_clock.h"
#include "radio/radio_values.h"

namespace RTPSignalling {

namespace {

using Params = TERM::LemzRadioModifierParams;

// LEMZ packet types and the alternatives of TERM::LemzRadioModifierParams, both ways.
struct Mapping {
  int32_t type;
  int alternative;
};
constexpr Mapping kMappings[] = {
    {GW_FLAG, Params::e_gw_set_flags},         {GW_ADJUST_CHAN, Params::e_gw_set_freq},
    {GW_FLAG_PTT, Params::e_gw_set_ptt},       {GW_FLAG_BSS, Params::e_gw_set_bss},
    {GW_FLAG_SH, Params::e_gw_set_sh},         {GW_FLAG_PW, Params::e_gw_set_pwr},
    {GW_FLAG_RV, Params::e_gw_set_rv},         {GW_FLAG_RS, Params::e_gw_set_resv},
    {GW_SEL_CALL, Params::e_gw_set_selcall},   {GW_SELECT_RC_CHAN, Params::e_gw_set_remote},
    {GW_ADJUST_SQUELSHE, Params::e_gw_set_squelshe}, {GW_ADJUST_RTE, Params::e_gw_set_rte},
    {GW_ADJUST_STANDBY, Params::e_gw_set_standby},   {WM_FLAG, Params::e_wm_flags},
    {WM_TRANS, Params::e_wm_trans},            {WM_RADIO_QUALITY, Params::e_wm_quality},
    {WM_CHAN, Params::e_wm_chan},              {WM_SEL_CALL_TRANS, Params::e_wm_selcall},
    {WM_SELECT_RC_CHAN, Params::e_wm_remote},  {WM_STANDBY, Params::e_wm_standby},
};

int alternative_of(int32_t type) {
  for (const Mapping& m : kMappings)
    if (m.type == type) return m.alternative;
  return -1;
}

int32_t type_of(int alternative) {
  for (const Mapping& m : kMappings)
    if (m.alternative == alternative) return m.type;
  return 0;
}

// The gw-set-flags alternatives: each holds a TERM::RadioCommandGWSetFlags.
bool carries_flags(int alternative) {
  switch (alternative) {
    case Params::e_gw_set_flags: case Params::e_gw_set_ptt: case Params::e_gw_set_bss:
    case Params::e_gw_set_sh: case Params::e_gw_set_pwr: case Params::e_gw_set_rv:
    case Params::e_gw_set_resv: return true;
  }
  return false;
}

// A dotted address in network order; 0 when the text is not one (such a value is refused).
uint32_t address_of(const std::string& text) {
  in_addr_t a;
  return INet4::parse_dotted(text, a) ? a : 0;
}

// A decimal text (checked) as a float.
float float_of(const std::string& text) {
  float v = 0;
  ReadFloat(text, v);
  return v;
}

std::string decimal(float v) {
  char text[255];
  std::snprintf(text, sizeof text, "%4.6f", double{v});
  return text;
}

void flags_from(const TERM::RadioFlags& f, LemzRadioState& s) {
  s.priority = f.get_prio().getValue();
  s.flag_p = f.get_ptt().getValue();
  s.flag_b = f.get_bss().getValue();
  s.flag_r = f.get_vad_rx().getValue();
  s.flag_t = f.get_vad_tx().getValue();
  s.flag_s = f.get_sql().getValue();
  s.flag_sh = f.get_sh().getValue();
  s.flag_pw = f.get_pwr().getValue();
  s.flag_rv = f.get_rv().getValue();
  s.flag_rs = f.get_resv().getValue();
  s.flag_c = static_cast<int32_t>(f.get_selcall().getValue());
  s.status = static_cast<int32_t>(f.get_li().getValue());
}

TERM::RadioFlags flags_of(const LemzRadioState& s) {
  TERM::RadioFlags f;
  f.set_prio(s.priority);
  f.set_ptt(s.flag_p != 0);
  f.set_bss(s.flag_b != 0);
  f.set_vad_rx(s.flag_r != 0);
  f.set_vad_tx(s.flag_t != 0);
  f.set_sql(s.flag_s != 0);
  f.set_sh(s.flag_sh != 0);
  f.set_pwr(s.flag_pw != 0);
  f.set_rv(s.flag_rv != 0);
  f.set_resv(s.flag_rs != 0);
  f.set_selcall(static_cast<uint32_t>(s.flag_c) & 3);
  f.set_li(static_cast<uint32_t>(s.status) & 511);
  return f;
}

void freq_from(const TERM::RadioFrequency& f, LemzRadioState& s) {
  s.channel_id = f.get_channel().getValue();
  s.frequency = float_of(f.get_frequency());
}

TERM::RadioFrequency freq_of(const LemzRadioState& s) {
  TERM::RadioFrequency f;
  f.set_channel(s.channel_id);
  f.set_frequency(decimal(s.frequency));
  return f;
}

void remote_from(const TERM::RadioRemote& r, LemzRadioState& s) {
  s.interface = static_cast<int32_t>(r.get_no().getValue());
  s.channel = static_cast<int32_t>(r.get_ch().getValue());
}

TERM::RadioRemote remote_of(const LemzRadioState& s) {
  TERM::RadioRemote r;
  r.set_no(static_cast<uint32_t>(s.interface) & 255);
  r.set_ch(static_cast<uint32_t>(s.channel) & 255);
  return r;
}

// A squelsh or rte that is not configured (-1) is reported as no-config.
TERM::RadioSquelshe::NamedNumber squelshe_of(int32_t v) {
  return static_cast<TERM::RadioSquelshe::NamedNumber>(v < 0 ? 0 : v);
}
TERM::RadioRTE::NamedNumber rte_of(int32_t v) {
  return static_cast<TERM::RadioRTE::NamedNumber>(v < 0 ? 0 : v);
}
TERM::RadioStandby::NamedNumber standby_of(int32_t v) {
  return static_cast<TERM::RadioStandby::NamedNumber>(v < 0 ? -1 : v);
}
// The group has no "not configured" value of its own: an unset group is reported as 0.
uint32_t group_of(int32_t v) { return v < 0 ? 0 : static_cast<uint32_t>(v) & 255; }

void copy_caller_id(char (&to)[kSigCallerIdSize], const std::string& text) {
  sig_proto_copy_caller_id(to, text.c_str());
}

// The calls that carry flags and a session (wm-trans), and with it a caller id (the selcalls).
template <class Call>
void call_from(const Call& c, LemzRadioState& s) {
  flags_from(c.get_flags(), s);
  s.session_addr = address_of(c.get_ip());
  s.session_ssrc = c.get_ssrc().getValue();
}

template <class Call>
void selcall_from(const Call& c, LemzRadioState& s) {
  call_from(c, s);
  copy_caller_id(s.caller_id, c.get_cid());
}

template <class Call>
void call_into(Call& c, const LemzRadioState& s) {
  c.set_flags(flags_of(s));
  c.set_ip(INet4::dotted(s.session_addr));
  c.set_ssrc(s.session_ssrc);
}

template <class Call>
void selcall_into(Call& c, const LemzRadioState& s) {
  call_into(c, s);
  c.set_cid(s.caller_id);
}

// Type, priority, status and the ten flags, between packet records and states.
template <class To, class From>
void copy_header(To& d, const From& s) {
  d.type = static_cast<decltype(d.type)>(s.type);
  d.priority = static_cast<decltype(d.priority)>(s.priority);
  d.status = static_cast<decltype(d.status)>(s.status);
  d.flag_t = static_cast<decltype(d.flag_t)>(s.flag_t);
  d.flag_p = static_cast<decltype(d.flag_p)>(s.flag_p);
  d.flag_r = static_cast<decltype(d.flag_r)>(s.flag_r);
  d.flag_s = static_cast<decltype(d.flag_s)>(s.flag_s);
  d.flag_b = static_cast<decltype(d.flag_b)>(s.flag_b);
  d.flag_rv = static_cast<decltype(d.flag_rv)>(s.flag_rv);
  d.flag_sh = static_cast<decltype(d.flag_sh)>(s.flag_sh);
  d.flag_rs = static_cast<decltype(d.flag_rs)>(s.flag_rs);
  d.flag_pw = static_cast<decltype(d.flag_pw)>(s.flag_pw);
  d.flag_c = static_cast<decltype(d.flag_c)>(s.flag_c);
}

// What a GW_ command of `s` changes in `d` (the gateway keeps commands from the channel, the
// workstation those of its controller); every row for a full state.
void copy_gw_command(LemzRadioState& d, const LemzRadioState& s) {
  const bool all = isDefaultInitCommand(s.type);
  d.type = s.type;
  d.priority = s.priority;
  auto is = [&](std::initializer_list<int32_t> types) {
    if (all) return true;
    for (int32_t t : types)
      if (t == s.type) return true;
    return false;
  };
  if (is({GW_FLAG, GW_FLAG_PTT})) d.flag_p = s.flag_p;
  if (is({GW_FLAG, GW_FLAG_BSS})) d.flag_b = s.flag_b;
  if (is({GW_FLAG, GW_FLAG_SH})) d.flag_sh = s.flag_sh;
  if (is({GW_FLAG, GW_FLAG_RV})) d.flag_rv = s.flag_rv;
  if (is({GW_FLAG, GW_FLAG_PW})) d.flag_pw = s.flag_pw;
  if (is({GW_FLAG, GW_FLAG_RS})) d.flag_rs = s.flag_rs;
  if (is({GW_ADJUST_CHAN})) {
    d.channel_id = s.channel_id;
    d.frequency = s.frequency;
  }
  if (is({GW_SEL_CALL})) std::memcpy(d.caller_id, s.caller_id, sizeof d.caller_id);
  if (is({GW_SELECT_RC_CHAN})) {
    d.interface = s.interface;
    d.channel = s.channel;
  }
  if (is({GW_ADJUST_SQUELSHE})) d.squelsh = s.squelsh;
  if (is({GW_ADJUST_RTE})) d.rte = s.rte;
  if (is({GW_ADJUST_STANDBY})) d.standby_state = s.standby_state;
}

// What a WM_ report of `s` changes in `d`; every row for a full state. The session fields
// come with WM_TRANS and WM_SEL_CALL_TRANS when `session_of_trans`.
void copy_wm_report(LemzRadioState& d, const LemzRadioState& s, bool session_of_trans) {
  const bool all = isDefaultInitCommand(s.type);
  copy_header(d, s);
  if (all || s.type == WM_CHAN) {
    d.channel_id = s.channel_id;
    d.frequency = s.frequency;
    d.squelsh = s.squelsh;
    d.rte = s.rte;
  }
  if (all || s.type == WM_SELECT_RC_CHAN) {
    d.interface = s.interface;
    d.channel = s.channel;
  }
  if (all || s.type == WM_SEL_CALL_TRANS || (session_of_trans && s.type == WM_TRANS)) {
    d.session_addr = s.session_addr;
    d.session_ssrc = s.session_ssrc;
  }
  if (all || s.type == WM_RADIO_QUALITY) d.radio_quality = s.radio_quality;
  if (all || s.type == WM_STANDBY) {
    d.standby_state = s.standby_state;
    d.standby_group = s.standby_group;
    d.standby_receiver = s.standby_receiver;
  }
}

void header_into(sig_proto& p, const LemzRadioState& s) {
  sig_proto_init(&p);
  p.source_addr = s.source_addr;
  p.source_ssrc = s.source_ssrc;
  copy_header(p, s);
}

uint8_t low_byte(int32_t v) { return static_cast<uint8_t>(v); }

}  // namespace

bool isPTTCommand(int type) {
  switch (type) {
    case GW_FLAG: case GW_FLAG_PTT: case GW_SEL_CALL: case WM_FLAG: case WM_TRANS:
    case WM_SEL_CALL_TRANS: return true;
  }
  return false;
}

bool isDefaultInitCommand(int type) { return type <= 0; }

template <class Value>
bool LemzRadioControl::Send(const Value& value) {
  if (!value.is_lemz() || Refuses(RefusalOf(value))) return false;
  LemzRadioState s = radio_to_chan_;
  DecodeASN(value.get_lemz(), s);
  if (Refuses(KeyRefusal(s))) return false;
  SendRadioStateToChan(s);
  return true;
}

bool LemzRadioControl::SendASNToChan(const TERM::RadioStatus& status) { return Send(status); }

bool LemzRadioControl::SendASNToChan(const TERM::RadioModifier& modifier) {
  return Send(modifier);
}

bool LemzRadioControl::GetSQU() { return radio_to_chan_.flag_s != 0; }

int LemzRadioControl::SendRadioStateToChan(const LemzRadioState& s) {
  sig_proto p;
  if (PutProtoFromRadioToChan(s) == 0 && EncodeProto(s, p) == 0) {
    SendProtoToChan(p);
    const uint32_t now = Mux::milliseconds();
    set_last_status(now);
    if (workstation() == 0) {
      switch (p.type) {
        case WM_FLAG: case WM_TRANS: case WM_SEL_CALL_TRANS: flag_sent_ = now; break;
        case WM_CHAN: chan_sent_ = now; break;
        case WM_SELECT_RC_CHAN: remote_sent_ = now; break;
        case WM_STANDBY: standby_sent_ = now; break;
      }
    }
  }
  UpdateAccess(radio_to_chan_.flag_p != 0, in_addr{radio_to_chan_.session_addr});
  return 0;
}

int LemzRadioControl::SendProtoToChan(sig_proto& p) {
  return PackAndWrite(p, sig_proto_pack);
}

bool LemzRadioControl::Acceptable(const sig_proto& p) {
  const auto& u = p.payload;
  const char* field = nullptr;
  std::string why;
  // The first reason found is kept.
  auto refuse = [&](const char* name, const std::string& reason) {
    if (field || reason.empty()) return;
    field = name;
    why = reason;
  };
  auto check = [&](const char* name, unsigned v, unsigned highest) {
    if (v > highest) refuse(name, std::string(name) + " " + std::to_string(v) + " out of range");
  };
  // A caller identity is reported as an IA5String: 7-bit octets only.
  auto check_caller_id = [&](const char* id, unsigned length) {
    for (unsigned i = 0; i < length; ++i)
      check("caller id octet", static_cast<unsigned char>(id[i]), 0x7F);
  };
  // A frequency or a quality is reported as the text that the controller would send for it,
  // and with it a channel id: the controller must be able to send them back.
  auto check_freq = [&](uint32_t id, float freq) {
    refuse("frequency", RefusalOfFrequency(id, decimal(freq)));
  };
  auto check_quality = [&](float v) {
    refuse("bss-val", RefusalOfNumber("bss-val", decimal(v), true));
  };
  // A transfer with push-to-talk keys the radio to its session address, which names one host.
  auto check_key = [&](in_addr session) {
    refuse("ip", RefusalOfKey(p.flag_p != 0, session.s_addr));
  };
  switch (p.type) {
    case GW_ADJUST_CHAN: check_freq(u.gw_adjust_chan.id, u.gw_adjust_chan.freq); break;
    case GW_SEL_CALL:
      check_caller_id(u.gw_sel_call.callerID, u.gw_sel_call.callerID_length);
      break;
    case GW_ADJUST_SQUELSHE: check("squelsh", u.gw_adjust_squelsh.squelsh, 2); break;
    case GW_ADJUST_RTE: check("rte", u.gw_adjust_rte.rte, 7); break;
    case GW_ADJUST_STANDBY: check("standby state", u.gw_adjust_standby.state, 1); break;
    case WM_RADIO_QUALITY: check_quality(u.wm_radio_quality.radio_quality); break;
    case WM_CHAN:
      check_freq(u.wm_chan.id, u.wm_chan.freq);
      check("squelsh", u.wm_chan.squelsh, 2);
      check("rte", u.wm_chan.rte, 7);
      break;
    case WM_TRANS: check_key(u.wm_trans.session_addr); break;
    case WM_SEL_CALL_TRANS:
      check_caller_id(u.wm_sel_call_trans.callerID, u.wm_sel_call_trans.callerID_length);
      check_key(u.wm_sel_call_trans.session_addr);
      break;
    case WM_STANDBY:
      check("standby state", u.wm_standby.state, 1);
      check("standby receiver state", u.wm_standby.receiver_state, 1);
      break;
  }
  if (!field) return true;
  LogDropped(field, [&](std::ostream& log) { log << why; });
  return false;
}

int LemzRadioControl::Unpack(sig_proto& p, unsigned char* buf, int n) {
  const int result = sig_proto_unpack(&p, buf, n);
  if (result == kSigBadType) {
    LogDropped("packet type unknown",
               [&](std::ostream& log) { log << "packet type " << p.type << " unknown"; });
  } else if (result != 0) {
    LogDropped("packet too short", [&](std::ostream& log) {
      log << "packet of " << n << " bytes too short";
      if (n > 0) log << " for type " << unsigned{buf[0]};
    });
  } else if (!Acceptable(p)) {
    return -1;
  }
  return result;
}

void LemzRadioControl::OnRtpExtEvent(int, short revents) {
  ReceiveLoop(
      revents, current_, pending_, [](sig_proto& p) { sig_proto_init(&p); },
      [this](sig_proto& p, unsigned char* buf, int n) { return Unpack(p, buf, n); },
      [](sig_proto& a, sig_proto& b) { return cmp_sig_proto_header(&a, &b) != 0; },
      [this](sig_proto& p) { OnRtpProtoRXEvent(p); });
}

int LemzRadioControl::OnRtpProtoRXEvent(const sig_proto& p) {
  LemzRadioState s;
  DecodeProto(p, s);
  if (AccessFormChanToRadio(s)) {
    PutProtoFromChanToRadio(s);
    TERM::RtpRadioRequest r;
    EncodeASN(radio_to_chan_, s, r);
    if (notify()) notify()->RadioControlNotify(r);
  }
  UpdateAccess(radio_to_chan_.flag_p != 0, in_addr{radio_to_chan_.session_addr});
  return 0;
}

int LemzRadioControl::DecodeProto(const sig_proto& p, LemzRadioState& s) {
  s.source_addr = p.source_addr;
  s.source_ssrc = p.source_ssrc;
  copy_header(s, p);
  const auto& u = p.payload;
  switch (p.type) {
    case GW_ADJUST_CHAN:
      s.channel_id = static_cast<int32_t>(u.gw_adjust_chan.id);
      s.frequency = u.gw_adjust_chan.freq;
      break;
    case GW_SEL_CALL: copy_caller_id(s.caller_id, u.gw_sel_call.callerID); break;
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN:
      s.interface = u.gw_select_rc_chan.interface;
      s.channel = u.gw_select_rc_chan.channel;
      break;
    case GW_ADJUST_SQUELSHE: s.squelsh = u.gw_adjust_squelsh.squelsh; break;
    case GW_ADJUST_RTE: s.rte = u.gw_adjust_rte.rte; break;
    case GW_ADJUST_STANDBY: s.standby_state = u.gw_adjust_standby.state; break;
    case WM_TRANS:
      s.session_addr = u.wm_trans.session_addr.s_addr;
      s.session_ssrc = u.wm_trans.ssrc;
      break;
    case WM_RADIO_QUALITY: s.radio_quality = u.wm_radio_quality.radio_quality; break;
    case WM_CHAN:
      s.channel_id = static_cast<int32_t>(u.wm_chan.id);
      s.frequency = u.wm_chan.freq;
      s.squelsh = u.wm_chan.squelsh;
      s.rte = u.wm_chan.rte;
      break;
    case WM_SEL_CALL_TRANS:
      s.session_addr = u.wm_sel_call_trans.session_addr.s_addr;
      s.session_ssrc = u.wm_sel_call_trans.ssrc;
      copy_caller_id(s.caller_id, u.wm_sel_call_trans.callerID);
      break;
    case WM_STANDBY:
      s.standby_state = u.wm_standby.state;
      s.standby_group = u.wm_standby.group;
      s.standby_receiver = u.wm_standby.receiver_state;
      break;
    default:
      return alternative_of(s.type) < 0 ? -1 : 0;
  }
  return 0;
}

int LemzRadioControl::DecodeASN(const TERM::LemzRadioStatus& st, LemzRadioState& s) {
  s.type = 0;
  flags_from(st.get_flags(), s);
  freq_from(st.get_freq(), s);
  remote_from(st.get_remote(), s);
  s.squelsh = st.get_squelshe().asInt();
  s.rte = st.get_rte().asInt();
  s.standby_state = st.get_standby_state_channel().asInt();
  s.standby_group = static_cast<int32_t>(st.get_standby_group().getValue());
  s.standby_receiver = st.get_standby_state_receiver().asInt();
  return 0;
}

int LemzRadioControl::DecodeASN(const TERM::LemzRadioModifier& m, LemzRadioState& s) {
  s.type = 0;
  s.source_addr = address_of(m.get_addr().get_session_addr());
  s.source_ssrc = m.get_addr().get_session_ssrc().getValue();
  const Params& params = m.get_params();
  const int alternative = params.currentSelection();
  s.type = type_of(alternative);
  if (carries_flags(alternative)) {
    flags_from(static_cast<const TERM::RadioCommandGWSetFlags*>(params.getSelection())->get_flags(),
               s);
    return 0;
  }
  switch (alternative) {
    case Params::e_gw_set_freq: freq_from(params.get_gw_set_freq().get_freq(), s); break;
    case Params::e_wm_flags: flags_from(params.get_wm_flags().get_flags(), s); break;
    case Params::e_gw_set_selcall: selcall_from(params.get_gw_set_selcall(), s); break;
    case Params::e_gw_set_remote: remote_from(params.get_gw_set_remote().get_remote(), s); break;
    case Params::e_gw_set_squelshe:
      s.squelsh = params.get_gw_set_squelshe().get_squelshe().asInt();
      break;
    case Params::e_gw_set_rte: s.rte = params.get_gw_set_rte().get_rte().asInt(); break;
    case Params::e_gw_set_standby:
      s.standby_state = params.get_gw_set_standby().get_state().asInt();
      break;
    case Params::e_wm_trans: call_from(params.get_wm_trans(), s); break;
    case Params::e_wm_quality:
      s.radio_quality = float_of(params.get_wm_quality().get_bss_val());
      break;
    case Params::e_wm_chan: {
      const auto& c = params.get_wm_chan();
      freq_from(c.get_freq(), s);
      s.squelsh = c.get_squelshe().asInt();
      s.rte = c.get_rte().asInt();
      break;
    }
    case Params::e_wm_selcall: selcall_from(params.get_wm_selcall(), s); break;
    case Params::e_wm_remote: remote_from(params.get_wm_remote().get_remote(), s); break;
    case Params::e_wm_standby: {
      const auto& c = params.get_wm_standby();
      s.standby_state = c.get_state_channel().asInt();
      s.standby_group = static_cast<int32_t>(c.get_group().getValue());
      s.standby_receiver = c.get_state_receiver().asInt();
      break;
    }
  }
  return 0;
}

int LemzRadioControl::EncodeStatusASN(const LemzRadioState& b, TERM::RtpRadioRequest& r) {
  TERM::LemzRadioStatus& st = r.get_status().select_lemz();
  st.set_flags(flags_of(b));
  st.set_freq(freq_of(b));
  st.set_remote(remote_of(b));
  st.set_squelshe(squelshe_of(b.squelsh));
  st.set_rte(rte_of(b.rte));
  st.set_standby_state_channel(standby_of(b.standby_state));
  st.set_standby_group(group_of(b.standby_group));
  st.set_standby_state_receiver(standby_of(b.standby_receiver));
  return 0;
}

int LemzRadioControl::EncodeASN(const LemzRadioState& b, const LemzRadioState& s,
                                TERM::RtpRadioRequest& r) {
  EncodeStatusASN(b, r);
  TERM::LemzRadioModifier& m = r.include_request().select_lemz();
  m.get_addr().set_session_addr(INet4::dotted(s.source_addr));
  m.get_addr().set_session_ssrc(s.source_ssrc);
  Params& params = m.get_params();
  const int alternative = alternative_of(s.type);
  if (carries_flags(alternative)) {
    params.select(alternative);
    static_cast<TERM::RadioCommandGWSetFlags*>(params.getSelection())->set_flags(flags_of(s));
    return 0;
  }
  switch (alternative) {
    case Params::e_gw_set_freq: params.select_gw_set_freq().set_freq(freq_of(s)); break;
    case Params::e_wm_flags: params.select_wm_flags().set_flags(flags_of(s)); break;
    case Params::e_gw_set_selcall: selcall_into(params.select_gw_set_selcall(), s); break;
    case Params::e_gw_set_remote: params.select_gw_set_remote().set_remote(remote_of(s)); break;
    case Params::e_gw_set_squelshe:
      params.select_gw_set_squelshe().set_squelshe(squelshe_of(s.squelsh));
      break;
    case Params::e_gw_set_rte: params.select_gw_set_rte().set_rte(rte_of(s.rte)); break;
    case Params::e_gw_set_standby:
      params.select_gw_set_standby().set_state(standby_of(s.standby_state));
      break;
    case Params::e_wm_trans: call_into(params.select_wm_trans(), s); break;
    case Params::e_wm_quality: params.select_wm_quality().set_bss_val(decimal(s.radio_quality)); break;
    case Params::e_wm_chan: {
      auto& c = params.select_wm_chan();
      c.set_freq(freq_of(s));
      c.set_squelshe(squelshe_of(s.squelsh));
      c.set_rte(rte_of(s.rte));
      break;
    }
    case Params::e_wm_selcall: selcall_into(params.select_wm_selcall(), s); break;
    case Params::e_wm_remote: params.select_wm_remote().set_remote(remote_of(s)); break;
    case Params::e_wm_standby: {
      auto& c = params.select_wm_standby();
      c.set_state_channel(standby_of(s.standby_state));
      c.set_group(group_of(s.standby_group));
      c.set_state_receiver(standby_of(s.standby_receiver));
      break;
    }
  }
  return 0;
}

std::string LemzRadioControl::KeyRefusal(const LemzRadioState&) const { return std::string(); }
int LemzRadioControl::PutProtoFromRadioToChan(const LemzRadioState&) { return 0; }
int LemzRadioControl::PutProtoFromChanToRadio(const LemzRadioState&) { return 0; }
bool LemzRadioControl::AccessFormChanToRadio(const LemzRadioState&) { return true; }
int LemzRadioControl::EncodeProto(const LemzRadioState&, sig_proto&) { return 0; }

int LemzRadioGWControl::PutProtoFromRadioToChan(const LemzRadioState& s) {
  copy_wm_report(radio_to_chan_, s, true);
  return isDefaultInitCommand(s.type) ? -1 : 0;
}

std::string LemzRadioGWControl::KeyRefusal(const LemzRadioState& s) const {
  LemzRadioState next = radio_to_chan_;
  copy_wm_report(next, s, true);
  return RefusalOfKey(next.flag_p != 0, next.session_addr);
}

int LemzRadioGWControl::PutProtoFromChanToRadio(const LemzRadioState& s) {
  chan_to_radio_.session_addr = s.source_addr;
  chan_to_radio_.session_ssrc = s.source_ssrc;
  copy_gw_command(chan_to_radio_, s);
  return isDefaultInitCommand(s.type) ? -1 : 0;
}

bool LemzRadioGWControl::AccessFormChanToRadio(const LemzRadioState& s) {
  const LemzRadioState& keyed = radio_to_chan_;
  if (keyed.flag_p == 0) return true;
  if (isPTTCommand(s.type) && s.priority < keyed.priority && s.flag_p != 0) return true;
  return s.source_addr == keyed.session_addr;
}

int LemzRadioGWControl::EncodeProto(const LemzRadioState& s, sig_proto& p) {
  header_into(p, s);
  auto& u = p.payload;
  switch (s.type) {
    case WM_FLAG: return 0;
    case WM_TRANS:
      u.wm_trans.session_addr.s_addr = s.session_addr;
      u.wm_trans.ssrc = s.session_ssrc;
      return 0;
    case WM_RADIO_QUALITY: u.wm_radio_quality.radio_quality = s.radio_quality; return 0;
    case WM_CHAN:
      u.wm_chan.id = static_cast<uint32_t>(s.channel_id);
      u.wm_chan.freq = s.frequency;
      u.wm_chan.squelsh = low_byte(s.squelsh);
      u.wm_chan.rte = low_byte(s.rte);
      return 0;
    case WM_SEL_CALL_TRANS:
      u.wm_sel_call_trans.session_addr.s_addr = s.session_addr;
      u.wm_sel_call_trans.ssrc = s.session_ssrc;
      sig_proto_copy_caller_id(u.wm_sel_call_trans.callerID, s.caller_id);
      u.wm_sel_call_trans.callerID_length =
          static_cast<uint8_t>(std::strlen(u.wm_sel_call_trans.callerID));
      return 0;
    case WM_SELECT_RC_CHAN:
      u.wm_select_rc_chan.interface = low_byte(s.interface);
      u.wm_select_rc_chan.channel = low_byte(s.channel);
      return 0;
    case WM_STANDBY:
      u.wm_standby.state = low_byte(s.standby_state);
      u.wm_standby.group = low_byte(s.standby_group);
      u.wm_standby.receiver_state = low_byte(s.standby_receiver);
      return 0;
  }
  return -1;
}

void LemzRadioGWControl::Report(int32_t type) {
  radio_to_chan_.type = type;
  sig_proto p;
  if (EncodeProto(radio_to_chan_, p) == 0) SendProtoToChan(p);
}

unsigned long LemzRadioGWControl::ProcessRadioStatus(unsigned long now_ms,
                                                     unsigned long interval_ms) {
  const uint32_t now = static_cast<uint32_t>(now_ms);
  const uint32_t interval = static_cast<uint32_t>(interval_ms);
  constexpr uint32_t kRepeat = 1000;
  const LemzRadioState& s = radio_to_chan_;
  if (age_ms(now, flag_sent_) >= kRepeat) {
    Report(s.flag_p == 0 ? WM_FLAG : s.caller_id[0] ? WM_SEL_CALL_TRANS : WM_TRANS);
    flag_sent_ = now;
  }
  if (age_ms(now, chan_sent_) >= kRepeat && s.channel_id >= 0 && s.frequency >= 0.0f) {
    Report(WM_CHAN);
    chan_sent_ = now;
  }
  if (s.interface >= 0 && s.channel >= 0) {
    Report(WM_SELECT_RC_CHAN);
    remote_sent_ = now;
  }
  if (age_ms(now, standby_sent_) >= kRepeat && s.standby_state >= 0 && s.standby_group >= 0 &&
      s.standby_receiver >= 0) {
    Report(WM_STANDBY);
    standby_sent_ = now;
  }
  uint32_t oldest = 0;
  for (uint32_t t : {flag_sent_, chan_sent_, remote_sent_, standby_sent_})
    oldest = std::max(oldest, age_ms(now, t));
  return oldest > 0 && oldest < interval ? interval - oldest + 10 : interval;
}

int LemzRadioWSControl::PutProtoFromRadioToChan(const LemzRadioState& s) {
  copy_gw_command(radio_to_chan_, s);
  return isDefaultInitCommand(s.type) ? -1 : 0;
}

int LemzRadioWSControl::PutProtoFromChanToRadio(const LemzRadioState& s) {
  chan_to_radio_.session_addr = s.source_addr;
  chan_to_radio_.session_ssrc = s.source_ssrc;
  copy_wm_report(chan_to_radio_, s, false);
  return isDefaultInitCommand(s.type) ? -1 : 0;
}

int LemzRadioWSControl::EncodeProto(const LemzRadioState& s, sig_proto& p) {
  header_into(p, s);
  auto& u = p.payload;
  switch (s.type) {
    case GW_FLAG: case GW_FLAG_PTT: case GW_FLAG_BSS: case GW_FLAG_RV: case GW_FLAG_SH:
    case GW_FLAG_PW: case GW_FLAG_RS: return 0;
    case GW_ADJUST_CHAN:
      u.gw_adjust_chan.id = static_cast<uint32_t>(s.channel_id);
      u.gw_adjust_chan.freq = s.frequency;
      return 0;
    case GW_SEL_CALL:
      sig_proto_copy_caller_id(u.gw_sel_call.callerID, s.caller_id);
      u.gw_sel_call.callerID_length = static_cast<uint8_t>(std::strlen(u.gw_sel_call.callerID));
      return 0;
    case GW_SELECT_RC_CHAN:
      u.gw_select_rc_chan.interface = low_byte(s.interface);
      u.gw_select_rc_chan.channel = low_byte(s.channel);
      return 0;
    case GW_ADJUST_SQUELSHE: u.gw_adjust_squelsh.squelsh = low_byte(s.squelsh); return 0;
    case GW_ADJUST_RTE: u.gw_adjust_rte.rte = low_byte(s.rte); return 0;
    case GW_ADJUST_STANDBY: u.gw_adjust_standby.state = low_byte(s.standby_state); return 0;
  }
  return -1;
}

}  // namespace RTPSignalling
