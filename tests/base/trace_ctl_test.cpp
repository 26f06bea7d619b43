#include "base/trace_ctl.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Switches {
  bool hdlc, lemzgw, events, internal;
};

// Applies every "traces" section of `text` to a fresh TraceCtl.
TraceCtl configure(const std::string& text) {
  IniFile::File file;
  std::istringstream in(text);
  in >> file;
  TraceCtl t;
  t.Configure(*file["traces"]);
  return t;
}

struct Case {
  const char* name;
  const char* text;
  Switches expected;
};

class TraceCtlTest : public testing::TestWithParam<Case> {};

TEST_P(TraceCtlTest, Configure) {
  TraceCtl t = configure(GetParam().text);
  const Switches& e = GetParam().expected;
  EXPECT_EQ(t.signallingHdlc, e.hdlc);
  EXPECT_EQ(t.signallingLemzgw, e.lemzgw);
  EXPECT_EQ(t.signallingEvents, e.events);
  EXPECT_EQ(t.monitoringInternal, e.internal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TraceCtlTest,
    testing::Values(
        Case{"Empty", "", {false, false, false, false}},
        Case{"OtherSection", "[snmpagent]\nsignalling.hdlc = yes\n", {false, false, false, false}},
        Case{"EveryWord",
             "[traces]\nsignalling.hdlc = yes\nsignalling.lemzgw = enabled\n"
             "signalling.events = 1\nmonitoring.internal = true\n",
             {true, true, true, true}},
        Case{"OnIsNotABoolWord", "[traces]\nsignalling.hdlc = on\n", {false, false, false, false}},
        Case{"RepeatedKeyIgnored", "[traces]\nsignalling.events = yes\nsignalling.events = yes\n",
             {false, false, false, false}},
        Case{"LastSectionDecides",
             "[traces]\nmonitoring.internal = 1\n[traces]\nsignalling.events = enable\n",
             {false, false, true, false}},
        Case{"LaterSectionTurnsOff", "[traces]\nsignalling.hdlc = 1\n[traces]\nsignalling.hdlc = no\n",
             {false, false, false, false}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
