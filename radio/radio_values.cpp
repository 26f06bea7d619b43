#include "radio/radio_values.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string_view>

#include "asn1/modules/term.h"
#include "base/ext_escaped.h"
#include "base/inet4_addr.h"
#include "radio/sig_proto.h"

namespace RTPSignalling {

namespace {

using Params = TERM::LemzRadioModifierParams;

// The first reason found, kept; later checks of a refused value change nothing.
class Reason {
 public:
  // Refuses with "`field` `value` out of 0..`highest`" when value is outside 0..highest.
  void range(const char* field, long long value, long long highest) {
    if (value < 0 || value > highest)
      refuse(std::string(field) + " " + std::to_string(value) + " out of 0.." +
             std::to_string(highest));
  }
  void refuse(const std::string& why) {
    if (text.empty()) text = why;
  }
  std::string text;
};

// The controller's text, escaped as every outside text in a log line, cut after 40 bytes.
std::string quoted(const std::string& text) {
  const bool cut = text.size() > 40;
  std::ostringstream out;
  out << ext::escaped(std::string_view(text).substr(0, 40));
  std::string q = out.str();
  if (cut) q.insert(q.size() - 1, "...");
  return q;
}

// A session address; one that push-to-talk keys names a single host.
void address(Reason& r, const char* field, const std::string& text, bool keyed) {
  in_addr_t a;
  if (!INet4::parse_dotted(text, a))
    r.refuse(std::string(field) + " " + quoted(text) + " is not a dotted IPv4 address");
  else if (keyed && !INet4::names_one_host(a))
    r.refuse(std::string(field) + " " + INet4::dotted(a) + " names no single host to key");
}

void flags(Reason& r, const TERM::RadioFlags& f) {
  r.range("prio", f.get_prio().getValue(), 15);
}

void frequency(Reason& r, const TERM::RadioFrequency& f) {
  r.refuse(RefusalOfFrequency(f.get_channel().getValue(), f.get_frequency()));
}

void caller_id(Reason& r, const std::string& cid) {
  // The record holds the identity as a C string: a NUL would end it early.
  if (cid.find('\0') != std::string::npos) r.refuse("cid holds a NUL");
  if (cid.size() > kSigCallerIdSize - 1)
    r.refuse("cid of " + std::to_string(cid.size()) + " characters, at most " +
             std::to_string(kSigCallerIdSize - 1));
}

// A call that carries flags and a session (wm-trans, and with a caller id the selcalls).
template <class Call>
void call(Reason& r, const Call& c) {
  flags(r, c.get_flags());
  address(r, "ip", c.get_ip(), c.get_flags().get_ptt().getValue());
}

void lemz(Reason& r, const TERM::LemzRadioStatus& s) {
  flags(r, s.get_flags());
  frequency(r, s.get_freq());
}

void lemz(Reason& r, const TERM::LemzRadioModifier& m) {
  address(r, "session-addr", m.get_addr().get_session_addr(), false);
  const Params& p = m.get_params();
  switch (p.currentSelection()) {
    case Params::e_gw_set_flags: case Params::e_gw_set_ptt: case Params::e_gw_set_bss:
    case Params::e_gw_set_sh: case Params::e_gw_set_pwr: case Params::e_gw_set_rv:
    case Params::e_gw_set_resv:
      flags(r, static_cast<const TERM::RadioCommandGWSetFlags*>(p.getSelection())->get_flags());
      break;
    case Params::e_wm_flags: flags(r, p.get_wm_flags().get_flags()); break;
    case Params::e_gw_set_freq: frequency(r, p.get_gw_set_freq().get_freq()); break;
    case Params::e_wm_chan: frequency(r, p.get_wm_chan().get_freq()); break;
    case Params::e_wm_quality:
      r.refuse(RefusalOfNumber("bss-val", p.get_wm_quality().get_bss_val(), true));
      break;
    case Params::e_wm_trans: call(r, p.get_wm_trans()); break;
    case Params::e_wm_selcall:
      call(r, p.get_wm_selcall());
      caller_id(r, p.get_wm_selcall().get_cid());
      break;
    case Params::e_gw_set_selcall:
      // Its ip goes nowhere: a GW_SEL_CALL carries the caller identity only.
      flags(r, p.get_gw_set_selcall().get_flags());
      caller_id(r, p.get_gw_set_selcall().get_cid());
      break;
  }
}

void header(Reason& r, const TERM::ED137RadioHeader& h) {
  r.range("ptt", h.get_ptt().asInt(), TERM::ED137RadioPTT::emergency_ptt_on);
  r.range("squ", h.get_squ().asInt(), TERM::ED137RadioSQU::squ_on);
}

void sqi(Reason& r, const TERM::ED137RadioExtensionSQI& s) {
  r.range("bss-method", s.get_bss_method().asInt(), TERM::ED137RadioBSSMethod::psd);
}

void ed137(Reason& r, const TERM::ED137RadioStatus& s) {
  header(r, s.get_header());
  if (s.has_sqi()) sqi(r, s.get_sqi());
  if (s.has_radio_response()) {
    const TERM::ED137RadioResponse& response = s.get_radio_response();
    r.range("type", response.get_type().asInt(), TERM::ED137RadioType::coupling);
    r.range("txrxmode", response.get_txrxmode().asInt(), TERM::ED137RadioTxRxMode::txrx);
  }
}

void ed137(Reason& r, const TERM::ED137RadioModifier& m) {
  const TERM::ED137RadioModifierParams& p = m.get_params();
  const TERM::ED137RadioHeader* h = p.is_tx() ? &p.get_tx().get_header()
                                   : p.is_rx() ? &p.get_rx().get_header()
                                               : nullptr;
  // A header with push-to-talk on keys the radio to the session address.
  const bool keyed = h && h->get_ptt().asInt() != TERM::ED137RadioPTT::ptt_off;
  address(r, "session-addr", m.get_addr().get_session_addr(), keyed);
  if (h) header(r, *h);
  if (p.is_rx() && p.get_rx().has_sqi()) sqi(r, p.get_rx().get_sqi());
}

void status(Reason& r, const TERM::RadioStatus& s) {
  if (s.is_lemz()) lemz(r, s.get_lemz());
  if (s.is_ed_137()) ed137(r, s.get_ed_137());
}

}  // namespace

std::string RefusalOfKey(bool keyed, uint32_t session_addr) {
  if (!keyed || INet4::names_one_host(session_addr)) return std::string();
  if (session_addr == 0) return "ptt set with no session address to key";
  return "ptt keys " + INet4::dotted(session_addr) + ", which names no single host";
}

std::string RefusalOfNumber(const char* field, const std::string& text, bool negative_too) {
  float v;
  if (!ReadFloat(text, v))
    return std::string(field) + " " + quoted(text) + " is not a number a float holds";
  if (!negative_too && v < 0) return std::string(field) + " " + quoted(text) + " is negative";
  return std::string();
}

std::string RefusalOfFrequency(long long channel, const std::string& text) {
  Reason r;
  r.range("channel", channel, std::numeric_limits<int32_t>::max());
  r.refuse(RefusalOfNumber("frequency", text, false));
  return r.text;
}

bool ReadFloat(const std::string& text, float& value) {
  if (text.empty()) {
    value = 0;
    return true;
  }
  // strtof skips leading blanks and reads "nan", "inf" and hexadecimal forms: only the digits,
  // sign, point and exponent of a decimal number are taken.
  if (text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  // strtof rounds to the nearest float: the shortest text of the largest one, 3.4028235e38,
  // is above it and still reads as it; a text past the rounding bound reads as infinite.
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  // -0 (and a negative number too small for a float) is 0, with no sign bit on the wire.
  value = v == 0 ? 0.0f : v;
  return true;
}

std::string RefusalOf(const TERM::RadioStatus& s) {
  Reason r;
  status(r, s);
  return r.text;
}

std::string RefusalOf(const TERM::RadioModifier& m) {
  Reason r;
  if (m.is_lemz()) lemz(r, m.get_lemz());
  if (m.is_ed_137()) ed137(r, m.get_ed_137());
  return r.text;
}

std::string RefusalOf(const TERM::RtpRadioRequest& request) {
  Reason r;
  status(r, request.get_status());
  // A LEMZ status carries no session address, and a new radio has none: push-to-talk set at
  // creation would key the radio to nobody.
  if (request.get_status().is_lemz())
    r.refuse(RefusalOfKey(request.get_status().get_lemz().get_flags().get_ptt().getValue(), 0));
  const long long highest = std::numeric_limits<int32_t>::max();
  if (request.has_rx_delay()) r.range("rx-delay", request.get_rx_delay().getValue(), highest);
  if (request.has_tx_delay()) r.range("tx-delay", request.get_tx_delay().getValue(), highest);
  if (request.has_selcal_delay())
    r.range("selcal-delay", request.get_selcal_delay().getValue(), highest);
  return r.text;
}

}  // namespace RTPSignalling
