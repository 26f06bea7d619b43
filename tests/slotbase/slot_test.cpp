// The signals a slot's reporters and translators send, on the wire and to the other services.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

#include "tests/support/registry_test.h"

namespace {

struct SignalCase {
  const char* name;
  std::function<void(Slot&)> report;
  std::vector<std::string> sent;  // the signals, in value notation
  const char* error;              // what the error stream holds afterwards
};

class Reporters : public RegistryTest, public testing::WithParamInterface<SignalCase> {};

TEST_P(Reporters, SendSignals) {
  std::vector<std::string> log;
  TestSlot s("S", &log);
  s.number = 7;
  s.tx = 12;
  s.rx = 40;
  GetParam().report(s);
  std::vector<std::string> expected, on_wire;
  for (const auto& text : GetParam().sent) {
    expected.push_back(text_of(lgcp_signal(text)));
    on_wire.push_back(wire("{ slot 7, pdu signal : " + text + " }"));
  }
  EXPECT_EQ(signals(), expected);
  turns(2);
  EXPECT_EQ(frames(peer_.read()), on_wire);
  EXPECT_EQ(logs_.err.take(), GetParam().error);
}

dsproc_flags_event flags(uint32_t f, uint32_t m) { return dsproc_flags_event{f, m}; }

dsproc_tone_event tone(uint32_t freq, unsigned char presence) {
  dsproc_tone_event e{};
  e.w0 = freq;
  std::memcpy(reinterpret_cast<unsigned char*>(&e) + 4, &presence, 1);
  return e;
}

void tonec(Slot& s, uint32_t code, uint32_t stamp) { s.processTonecEvent({code, stamp}); }

const char* const kTonec = "tonec : { timestamp ";

INSTANTIATE_TEST_SUITE_P(
    Cases, Reporters,
    testing::Values(
        SignalCase{"InputTwiceSendsOnce",
                   [](Slot& s) { s.OnChangeInputStream(true); s.OnChangeInputStream(true); },
                   {"receiver : active : 40"}, ""},
        SignalCase{"OutputOpenAndClose",
                   [](Slot& s) { s.OnChangeOutputStream(true); s.OnChangeOutputStream(false); },
                   {"transmitter : active : 12", "transmitter : inactive : NULL"}, ""},
        SignalCase{"UserData", [](Slot& s) { s.OnUserData({'\x01', '\xFF'}); },
                   {"userData : '01FF'H"}, ""},
        SignalCase{"Dtmf", [](Slot& s) { tonec(s, 5, 100); },
                   {std::string(kTonec) + "100, event dtmf : 5 }"}, ""},
        SignalCase{"Ced", [](Slot& s) { tonec(s, 17, 1); },
                   {std::string(kTonec) + "1, event ced : NULL }"}, ""},
        SignalCase{"CngNotDtmf18", [](Slot& s) { tonec(s, 18, 1); },
                   {std::string(kTonec) + "1, event cng : NULL }"}, ""},
        SignalCase{"Iva5", [](Slot& s) { tonec(s, 0x0500, 2); },
                   {std::string(kTonec) + "2, event iva : code : 5 }"}, ""},
        SignalCase{"IvaRingOff", [](Slot& s) { tonec(s, 0x1500, 2); },
                   {std::string(kTonec) + "2, event iva : ringoff : NULL }"}, ""},
        SignalCase{"BadIvaCode", [](Slot& s) { tonec(s, 0x1600, 2); }, {},
                   "bad DTMF code, ignored.\n"},
        SignalCase{"ToneGenerator", [](Slot& s) { s.processToneGenEvent(); },
                   {std::string(kTonec) + "0, event dtmfDone : NULL }"}, ""},
        SignalCase{"ToneFilter",
                   [](Slot& s) { auto e = tone(2100, 1); s.processToneFltEvent(&e); },
                   {std::string(kTonec) + "0, event tone-presence : { freq 2100, presence TRUE } }"},
                   ""},
        SignalCase{"VadTxOnly", [](Slot& s) { s.processVADEvent({-1, 0}); },
                   {"vad : { vad-tx FALSE }"}, ""},
        SignalCase{"VadBoth", [](Slot& s) { s.processVADEvent({3, 0}); },
                   {"vad : { vad-rx TRUE, vad-tx FALSE }"}, ""},
        SignalCase{"BadVad", [](Slot& s) { s.processVADEvent({-1, -2}); }, {},
                   "bad VAD event, ignored.\n"},
        SignalCase{"FlagsVadThenSelcal",
                   [](Slot& s) {
                     auto e = flags(0xA0000000u, 0xE0000000u);
                     s.processFlagsEvent(&e);
                   },
                   {"vad : { vad-rx TRUE, vad-tx FALSE }", "selcal : { in-progress TRUE }"}, ""},
        SignalCase{"FlagsWithoutKnownBits",
                   [](Slot& s) {
                     auto e = flags(0xFFFFFFFFu, 0x1FFFFFFFu);
                     s.processFlagsEvent(&e);
                   },
                   {}, ""},
        SignalCase{"HugeBssIsCut",
                   [](Slot& s) {
                     dsproc_bss_event e{std::numeric_limits<float>::max(), 0, 0};
                     s.processBSSEvent(&e);
                   },
                   {"bss : { score \"340282346638528859811704183484\" }"}, ""},
        SignalCase{"Sd", [](Slot& s) { s.processSDEvent({2}); }, {"sd : { sd-rx TRUE }"}, ""},
        SignalCase{"BadSd", [](Slot& s) { s.processSDEvent({-1}); }, {},
                   "bad SD event, ignored.\n"},
        SignalCase{"RtpPacketDetector",
                   [](Slot& s) {
                     rtp_event e{};
                     e.type = 1;
                     e.value = 4;
                     e.timeout = 60;
                     s.processRtpEvent(e);
                   },
                   {"rtp : pd : { value 4, timeout 60 }"}, ""}),
    [](const testing::TestParamInfo<SignalCase>& i) { return std::string(i.param.name); });

}  // namespace
