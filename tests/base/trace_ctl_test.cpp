#include "base/trace_ctl.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

TEST(TraceCtl, Configure) {
  struct Case {
    const char* text;
    bool hdlc, lemzgw, events, internal;
  } const cases[] = {
      {"[snmpagent]\nsignalling.hdlc = yes\n", false, false, false, false},
      {"[traces]\nsignalling.hdlc = yes\nsignalling.lemzgw = enabled\nsignalling.events = 1\n"
       "monitoring.internal = true\n", true, true, true, true},
      {"[traces]\nsignalling.hdlc = on\n", false, false, false, false},
      {"[traces]\nsignalling.events = yes\nsignalling.events = yes\n", false, false, false, false},
      {"[traces]\nmonitoring.internal = 1\n[traces]\nsignalling.events = enable\n", false, false,
       true, false},
  };
  for (const Case& c : cases) {
    IniFile::File file;
    std::istringstream in(c.text);
    in >> file;
    TraceCtl t;
    t.Configure(*file["traces"]);
    EXPECT_EQ((std::vector<bool>{t.signallingHdlc, t.signallingLemzgw, t.signallingEvents,
                                 t.monitoringInternal}),
              (std::vector<bool>{c.hdlc, c.lemzgw, c.events, c.internal}))
        << c.text;
  }
}

}  // namespace
