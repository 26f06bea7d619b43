// The slot base: its name in log lines and the signals its reporters and translators send.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

#include "tests/support/registry_test.h"

namespace {

struct PutCase {
  const char* name;
  unsigned number;
  const char* text;
};

class SlotPut : public testing::TestWithParam<PutCase> {};

TEST_P(SlotPut, NamesTheSlot) {
  std::vector<std::string> log;
  TestSlot s("trunk", &log);
  s.number = GetParam().number;
  std::ostringstream os;
  os << s << '|' << std::setw(3) << 1;
  EXPECT_EQ(os.str(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, SlotPut,
                         testing::Values(PutCase{"One", 7, "07:trunk|  1"},
                                         PutCase{"Three", 123, "123:trunk|  1"},
                                         PutCase{"Last", 1023, "1023:trunk|  1"},
                                         PutCase{"Above", 1024, "i1024:trunk|  1"},
                                         PutCase{"None", Slot::no_number, "na:trunk|  1"}),
                         [](const testing::TestParamInfo<PutCase>& i) {
                           return std::string(i.param.name);
                         });

struct SignalCase {
  const char* name;
  std::function<void(Slot&)> report;
  // The signals sent, in value notation; empty for none.
  std::vector<std::string> sent;
  // A line expected on the error stream.
  const char* error;
};

class Reporters : public RegistryTest, public testing::WithParamInterface<SignalCase> {};

TEST_P(Reporters, SendSignals) {
  std::vector<std::string> log;
  TestSlot s("S", &log);
  s.number = 7;
  s.tx = 12;
  s.rx = 40;
  GetParam().report(s);
  std::vector<std::string> expected;
  for (const auto& text : GetParam().sent) expected.push_back(text_of(lgcp_signal(text)));
  EXPECT_EQ(signals(), expected);
  std::vector<std::string> on_wire;
  for (const auto& text : GetParam().sent)
    on_wire.push_back(wire("{ slot 7, pdu signal : " + text + " }"));
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

INSTANTIATE_TEST_SUITE_P(
    Cases, Reporters,
    testing::Values(
        SignalCase{"InputTwiceSendsOnce",
                   [](Slot& s) {
                     s.OnChangeInputStream(true);
                     s.OnChangeInputStream(true);
                   },
                   {"receiver : active : 40"},
                   ""},
        SignalCase{"OutputOpenAndClose",
                   [](Slot& s) {
                     s.OnChangeOutputStream(true);
                     s.OnChangeOutputStream(false);
                   },
                   {"transmitter : active : 12", "transmitter : inactive : NULL"},
                   ""},
        SignalCase{"UserData",
                   [](Slot& s) {
                     s.OnUserData({'\x01', '\xFF'});
                   },
                   {"userData : '01FF'H"},
                   ""},
        SignalCase{"Dtmf",
                   [](Slot& s) {
                     s.processTonecEvent({5, 100});
                   },
                   {"tonec : { timestamp 100, event dtmf : 5 }"},
                   ""},
        SignalCase{"Ced",
                   [](Slot& s) {
                     s.processTonecEvent({17, 1});
                   },
                   {"tonec : { timestamp 1, event ced : NULL }"},
                   ""},
        SignalCase{"CngNotDtmf18",
                   [](Slot& s) {
                     s.processTonecEvent({18, 1});
                   },
                   {"tonec : { timestamp 1, event cng : NULL }"},
                   ""},
        SignalCase{"Iva5",
                   [](Slot& s) {
                     s.processTonecEvent({0x0500, 2});
                   },
                   {"tonec : { timestamp 2, event iva : code : 5 }"},
                   ""},
        SignalCase{"IvaRingOff",
                   [](Slot& s) {
                     s.processTonecEvent({0x1500, 2});
                   },
                   {"tonec : { timestamp 2, event iva : ringoff : NULL }"},
                   ""},
        SignalCase{"BadIvaCode",
                   [](Slot& s) {
                     s.processTonecEvent({0x1600, 2});
                   },
                   {},
                   "bad DTMF code, ignored.\n"},
        SignalCase{"NegativeIvaCode",
                   [](Slot& s) {
                     s.processTonecEvent({0x80000500u, 2});
                   },
                   {},
                   "bad DTMF code, ignored.\n"},
        SignalCase{"ToneGenerator",
                   [](Slot& s) { s.processToneGenEvent(); },
                   {"tonec : { timestamp 0, event dtmfDone : NULL }"},
                   ""},
        SignalCase{"ToneFilter",
                   [](Slot& s) {
                     auto e = tone(2100, 1);
                     s.processToneFltEvent(&e);
                   },
                   {"tonec : { timestamp 0, event tone-presence : { freq 2100, presence TRUE } }"},
                   ""},
        SignalCase{"VadTxOnly",
                   [](Slot& s) {
                     s.processVADEvent({-1, 0});
                   },
                   {"vad : { vad-tx FALSE }"},
                   ""},
        SignalCase{"VadBoth",
                   [](Slot& s) {
                     s.processVADEvent({3, 0});
                   },
                   {"vad : { vad-rx TRUE, vad-tx FALSE }"},
                   ""},
        SignalCase{"BadVad",
                   [](Slot& s) {
                     s.processVADEvent({-1, -2});
                   },
                   {},
                   "bad VAD event, ignored.\n"},
        SignalCase{"SelcalOnly",
                   [](Slot& s) {
                     auto e = flags(0, 0x80000000u);
                     s.processFlagsEvent(&e);
                   },
                   {"selcal : { in-progress FALSE }"},
                   ""},
        SignalCase{"FlagsVadThenSelcal",
                   [](Slot& s) {
                     auto e = flags(0xA0000000u, 0xE0000000u);
                     s.processFlagsEvent(&e);
                   },
                   {"vad : { vad-rx TRUE, vad-tx FALSE }", "selcal : { in-progress TRUE }"},
                   ""},
        SignalCase{"FlagsWithoutKnownBits",
                   [](Slot& s) {
                     auto e = flags(0xFFFFFFFFu, 0x1FFFFFFFu);
                     s.processFlagsEvent(&e);
                   },
                   {},
                   ""},
        SignalCase{"Bss",
                   [](Slot& s) {
                     dsproc_bss_event e{1.5f, 0, 0};
                     s.processBSSEvent(&e);
                   },
                   {"bss : { score \"1.500000\" }"},
                   ""},
        SignalCase{"HugeBssIsCut",
                   [](Slot& s) {
                     dsproc_bss_event e{std::numeric_limits<float>::max(), 0, 0};
                     s.processBSSEvent(&e);
                   },
                   {"bss : { score \"340282346638528859811704183484\" }"},
                   ""},
        SignalCase{"Sd", [](Slot& s) { s.processSDEvent({2}); }, {"sd : { sd-rx TRUE }"}, ""},
        SignalCase{
            "BadSd", [](Slot& s) { s.processSDEvent({-1}); }, {}, "bad SD event, ignored.\n"},
        SignalCase{"RtpPacketDetector",
                   [](Slot& s) {
                     rtp_event e{};
                     e.type = 1;
                     e.value = 4;
                     e.timeout = 60;
                     s.processRtpEvent(e);
                   },
                   {"rtp : pd : { value 4, timeout 60 }"},
                   ""},
        SignalCase{"RtpOtherType",
                   [](Slot& s) {
                     rtp_event e{};
                     e.type = 2;
                     s.processRtpEvent(e);
                   },
                   {},
                   ""}),
    [](const testing::TestParamInfo<SignalCase>& i) { return std::string(i.param.name); });

}  // namespace
