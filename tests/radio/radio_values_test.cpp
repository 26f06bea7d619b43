// The check of a controller's radio values: the highest value each field carries is accepted,
// the next one refused, and a text that a C string would cut (a NUL inside) is refused.
#include "radio/radio_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "asn1/modules/term.h"

namespace {

using RTPSignalling::RefusalOf;

// A LEMZ wm-selcall keyed to 127.0.0.5 with priority 15 and a caller id of 255 characters: the
// largest values that fit.
TERM::RadioModifier lemz_call() {
  TERM::RadioModifier m;
  TERM::LemzRadioModifier& l = m.select_lemz();
  l.get_addr().set_session_addr("127.0.0.7");
  l.get_addr().set_session_ssrc(9);
  TERM::RadioCommandWMSelCall& c = l.get_params().select_wm_selcall();
  c.get_flags().set_prio(15);
  c.get_flags().set_ptt(true);
  c.set_ip("127.0.0.5");
  c.set_ssrc(7);
  c.set_cid(std::string(255, 'c'));
  return m;
}

// An ED-137 rx command with the highest PTT type, squelch and BSS method.
TERM::RadioModifier ed137_rx() {
  TERM::RadioModifier m;
  TERM::ED137RadioModifier& e = m.select_ed_137();
  e.get_addr().set_session_addr("127.0.0.7");
  TERM::ED137RadioRxCommand& rx = e.get_params().select_rx();
  rx.get_header().set_ptt(TERM::ED137RadioPTT::emergency_ptt_on);
  rx.get_header().set_squ(TERM::ED137RadioSQU::squ_on);
  rx.include_sqi().set_bss_method(TERM::ED137RadioBSSMethod::psd);
  return m;
}

TEST(RadioValues, EachFieldCarriesItsRangeAndNoMore) {
  using Edit = std::function<void(TERM::RadioModifier&)>;
  auto call = [](TERM::RadioModifier& m) -> TERM::RadioCommandWMSelCall& {
    return m.get_lemz().get_params().get_wm_selcall();
  };
  auto rx = [](TERM::RadioModifier& m) -> TERM::ED137RadioRxCommand& {
    return m.get_ed_137().get_params().get_rx();
  };
  const struct {
    const char* name;
    bool lemz;
    Edit edit;
    const char* refusal;  // a part of the reason; null when accepted
  } rows[] = {
      {"largest lemz values", true, [](TERM::RadioModifier&) {}, nullptr},
      {"prio 16", true, [&](TERM::RadioModifier& m) { call(m).get_flags().set_prio(16); },
       "prio 16 out of 0..15"},
      {"cid of 256", true, [&](TERM::RadioModifier& m) { call(m).set_cid(std::string(256, 'c')); },
       "cid of 256 characters"},
      {"cid with a NUL", true,
       [&](TERM::RadioModifier& m) { call(m).set_cid(std::string("12\0ab", 5)); }, "NUL"},
      {"ip with a NUL", true,
       [&](TERM::RadioModifier& m) { call(m).set_ip(std::string("127.0.0.5\0x", 11)); },
       "not a dotted IPv4 address"},
      {"session-addr with a NUL", true,
       [](TERM::RadioModifier& m) {
         m.get_lemz().get_addr().set_session_addr(std::string("127.0.0.7\0", 10));
       },
       "not a dotted IPv4 address"},
      {"unkeyed to 0.0.0.0", true,
       [&](TERM::RadioModifier& m) {
         call(m).get_flags().set_ptt(false);
         call(m).set_ip("0.0.0.0");
       },
       nullptr},
      {"keyed to 0.0.0.0", true, [&](TERM::RadioModifier& m) { call(m).set_ip("0.0.0.0"); },
       "ip 0.0.0.0 names no single host"},
      {"keyed to 127.255.255.255", true,
       [&](TERM::RadioModifier& m) { call(m).set_ip("127.255.255.255"); },
       "ip 127.255.255.255 names no single host"},
      {"keyed to 223.255.255.255", true,
       [&](TERM::RadioModifier& m) { call(m).set_ip("223.255.255.255"); }, nullptr},
      {"unkeyed to 224.0.0.1", true,
       [&](TERM::RadioModifier& m) {
         call(m).get_flags().set_ptt(false);
         call(m).set_ip("224.0.0.1");
       },
       nullptr},
      {"largest ed-137 values", false, [](TERM::RadioModifier&) {}, nullptr},
      {"ed-137 unkeyed to 0.0.0.0", false,
       [&](TERM::RadioModifier& m) {
         rx(m).get_header().set_ptt(TERM::ED137RadioPTT::ptt_off);
         m.get_ed_137().get_addr().set_session_addr("0.0.0.0");
       },
       nullptr},
      {"ptt 5", false,
       [&](TERM::RadioModifier& m) {
         rx(m).get_header().set_ptt(static_cast<TERM::ED137RadioPTT::NamedNumber>(5));
       },
       "ptt 5 out of 0..4"},
      {"squ 2", false,
       [&](TERM::RadioModifier& m) {
         rx(m).get_header().set_squ(static_cast<TERM::ED137RadioSQU::NamedNumber>(2));
       },
       "squ 2 out of 0..1"},
      {"bss-method 4", false,
       [&](TERM::RadioModifier& m) {
         rx(m).include_sqi().set_bss_method(static_cast<TERM::ED137RadioBSSMethod::NamedNumber>(4));
       },
       "bss-method 4 out of 0..3"},
  };
  for (const auto& row : rows) {
    TERM::RadioModifier m = row.lemz ? lemz_call() : ed137_rx();
    row.edit(m);
    const std::string refusal = RefusalOf(m);
    if (!row.refusal) {
      EXPECT_EQ(refusal, "") << row.name;
    } else {
      EXPECT_NE(refusal.find(row.refusal), std::string::npos) << row.name << ": " << refusal;
    }
  }
}

TEST(RadioValues, NumberTexts) {
  const struct {
    const char* text;
    bool read;
    float value;
  } rows[] = {
      {"", true, 0},          {"-3.25e1", true, -32.5f}, {"3.4e38", true, 3.4e38f},
      {"3.5e38", false, 0},   {"inf", false, 0},         {"0x10", false, 0},
      {" 1", false, 0},       {"1.5\n", false, 0},
      // The shortest text of the largest float, and the first text past its rounding bound.
      {"3.4028235e38", true, std::numeric_limits<float>::max()},
      {"3.4028236e38", false, 0},
      {"-3.4028235e38", true, -std::numeric_limits<float>::max()},
      // No sign bit on a zero.
      {"-0", true, 0},        {"-0.0e5", true, 0},       {"-1e-50", true, 0},
  };
  for (const auto& row : rows) {
    float v = 7;
    EXPECT_EQ(RTPSignalling::ReadFloat(row.text, v), row.read) << row.text;
    if (row.read) {
      EXPECT_EQ(v, row.value) << row.text;
      EXPECT_EQ(std::signbit(v), std::signbit(row.value)) << row.text;
    }
  }
}

// A refused text is quoted in the log line as the controller sent it, escaped: it cannot end the
// line or forge another.
TEST(RadioValues, RefusedTextsAreEscaped) {
  EXPECT_EQ(RTPSignalling::RefusalOfNumber("freq", "1.5\nx", true),
            "freq \"1.5\\x0ax\" is not a number a float holds");
}

}  // namespace
