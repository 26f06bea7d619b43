// The connection graph against test slot kinds: which hooks run, in which order, and what the
// graph looks like afterwards.
#include "slotbase/slot_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "tests/support/transport_test.h"
#include "tests/support/test_slot.h"

namespace {

struct Trio {
  std::vector<std::string> log;
  TestSlot a{"A", &log};
  TestSlot b{"B", &log};
  TestSlot c{"C", &log};
  LogCapture logs;

  ~Trio() {
    for (Slot* s : {&a, &b, &c}) s->LogicalDisconnect();
  }
  std::vector<std::string> take() {
    std::vector<std::string> l;
    l.swap(log);
    return l;
  }
};

struct GraphCase {
  const char* name;
  // Runs on a fresh trio; returns what the last operation returned.
  std::function<bool(Trio&)> run;
  bool result;
  std::vector<std::string> hooks;
  // Sources of A, B and C afterwards ("-" for none).
  const char* sources;
};

std::string sources_of(Trio& t) {
  std::string s;
  for (Slot* x : {&t.a, &t.b, &t.c}) s += x->source ? x->source->GetName() : "-";
  return s;
}

class Graph : public testing::TestWithParam<GraphCase> {};

TEST_P(Graph, HooksInOrder) {
  Trio t;
  const GraphCase& c = GetParam();
  EXPECT_EQ(c.run(t), c.result);
  EXPECT_EQ(t.take(), c.hooks);
  EXPECT_EQ(sources_of(t), c.sources);
}

// A feeds B, hooks of the set-up forgotten.
bool a_to_b(Trio& t) {
  bool r = Connect(t.a, t.b);
  t.take();
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Graph,
    testing::Values(
        GraphCase{"FirstConnectOpensBothSides", [](Trio& t) { return Connect(t.a, t.b); },
                  true, {"A onOutputStream", "B onInputStream", "B hwConnectReceiver A"}, "-A-"},
        GraphCase{"SecondConnectCallsNoHook",
                  [](Trio& t) { return a_to_b(t) && Connect(t.a, t.b); },
                  true, {}, "-A-"},
        GraphCase{"SecondSinkOpensOnlyItsInput",
                  [](Trio& t) { return a_to_b(t) && Connect(t.a, t.c); },
                  true, {"C onInputStream", "C hwConnectReceiver A"}, "-AA"},
        GraphCase{"ReconnectRemovesOldPathFirst",
                  [](Trio& t) { return a_to_b(t) && Connect(t.c, t.b); },
                  true,
                  {"C onOutputStream", "B hwMayConnectReceiver C", "A hwDisconnectTransmitter B",
                   "B hwConnectReceiver C", "A onOutputRelease"},
                  "-C-"},
        GraphCase{"RefusedCheckLeavesOldPath",
                  [](Trio& t) {
                    t.c.priority = 1;  // the new path's maker is asked
                    t.c.may = {false};
                    return a_to_b(t) && Connect(t.c, t.b);
                  },
                  false, {"C onOutputStream", "C hwMayConnectTransmitter B", "C onOutputRelease"},
                  "-A-"},
        GraphCase{"HigherSourcePriorityConnectsAndDisconnects",
                  [](Trio& t) { t.a.priority = 1; return a_to_b(t) && Disconnect(t.b); },
                  true,
                  {"A hwDisconnectTransmitter B", "B onInputRelease", "A onOutputRelease"},
                  "---"},
        GraphCase{"HigherSinkPriorityDisconnects",
                  [](Trio& t) { t.b.priority = 1; return a_to_b(t) && Disconnect(t.b); },
                  true,
                  {"B hwDisconnectReceiver A", "B onInputRelease", "A onOutputRelease"},
                  "---"},
        GraphCase{"PrioritiesAreSigned",
                  [](Trio& t) { t.b.priority = -1; return Connect(t.a, t.b); },
                  true, {"A onOutputStream", "B onInputStream", "A hwConnectTransmitter B"}, "-A-"},
        GraphCase{"NoOutputStream", [](Trio& t) { t.a.output = false; return Connect(t.a, t.b); },
                  false, {"A onOutputStream"}, "---"},
        GraphCase{"NoInputStream", [](Trio& t) { t.b.input = false; return Connect(t.a, t.b); },
                  false, {"A onOutputStream", "B onInputStream"}, "---"},
        GraphCase{"RefusedHardwareReleasesNewSides",
                  [](Trio& t) { t.b.hw = {false}; return Connect(t.a, t.b); },
                  false,
                  {"A onOutputStream", "B onInputStream", "B hwConnectReceiver A",
                   "B onInputRelease", "A onOutputRelease"},
                  "---"},
        GraphCase{"RefusedReconnectRestoresOldPath",
                  [](Trio& t) { a_to_b(t); t.b.hw = {false, true}; return Connect(t.c, t.b); },
                  false,
                  {"C onOutputStream", "B hwMayConnectReceiver C", "A hwDisconnectTransmitter B",
                   "B hwConnectReceiver C", "B hwConnectReceiver A", "C onOutputRelease"},
                  "-A-"},
        GraphCase{
            "RefusedReconnectAndRestoreDetaches",
            [](Trio& t) { a_to_b(t); t.b.hw = {false, false}; return Connect(t.c, t.b); },
            false,
            {"C onOutputStream", "B hwMayConnectReceiver C", "A hwDisconnectTransmitter B",
             "B hwConnectReceiver C", "B hwConnectReceiver A", "B onInputRelease",
             "A onOutputRelease", "C onOutputRelease"},
            "---"},
        GraphCase{"RefusedDisconnectStillUnlinks",
                  [](Trio& t) { a_to_b(t); t.a.hw = {false}; return Disconnect(t.b); },
                  false,
                  {"A hwDisconnectTransmitter B", "B onInputRelease", "A onOutputRelease"},
                  "---"},
        GraphCase{"OutputCloseDisconnectsEverySink",
                  [](Trio& t) {
                    a_to_b(t);
                    Connect(t.a, t.c);
                    Connect(t.a, t.a);
                    t.take();
                    t.a.OnChangeOutputStream(false);
                    return t.a.sinks.empty() && !t.a.outputStream;
                  },
                  true,
                  // Sinks in address order: a, b, c are members in that order.
                  {"A hwDisconnectTransmitter A", "A onInputRelease", "A hwDisconnectTransmitter B",
                   "B onInputRelease", "A hwDisconnectTransmitter C", "C onInputRelease",
                   "A onOutputRelease"},
                  "---"},
        GraphCase{"InputCloseLeavesSource",
                  [](Trio& t) {
                    a_to_b(t);
                    t.b.OnChangeInputStream(false);
                    return !t.b.inputStream;
                  },
                  true,
                  {"A hwDisconnectTransmitter B", "B onInputRelease", "A onOutputRelease"},
                  "---"}),
    [](const testing::TestParamInfo<GraphCase>& i) { return std::string(i.param.name); });

TEST(GraphOrder, SinksStaySortedAndUniqueUnderAnySequence) {
  std::vector<std::string> log;
  LogCapture logs;
  std::vector<std::unique_ptr<TestSlot>> slots;
  for (int i = 0; i < 8; ++i) slots.emplace_back(new TestSlot("S", &log));
  std::mt19937 random(7);
  for (int step = 0; step < 2000; ++step) {
    Slot& x = *slots[random() % slots.size()];
    Slot& y = *slots[random() % slots.size()];
    if (random() % 3) {
      Connect(x, y);
    } else {
      Disconnect(y);
    }
  }
  for (auto& s : slots) {
    EXPECT_TRUE(std::is_sorted(s->sinks.begin(), s->sinks.end()));
    EXPECT_EQ(std::adjacent_find(s->sinks.begin(), s->sinks.end()), s->sinks.end());
    for (Slot* sink : s->sinks) EXPECT_EQ(sink->source, s.get());
    if (s->source) {
      const auto& peers = s->source->sinks;
      EXPECT_EQ(std::count(peers.begin(), peers.end(), s.get()), 1);
    }
  }
  for (auto& s : slots) s->LogicalDisconnect();
}

}  // namespace
