// The slot registry over the control server: the command table, its error causes, the delayed
// answer of an asynchronous destroy, the controller's disconnect and the factory chain.
#include <gtest/gtest.h>

#include "slotbase/slot_graph.h"
#include "tests/support/registry_test.h"

namespace {

const std::string create_at(int seq, int slot, int trunk = 0) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu command : create : trunk : { trunk " + std::to_string(trunk) + ", timeslot 1 } }";
}
const std::string command(int seq, int slot, const std::string& c) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu command : " + c + " }";
}
const std::string success(int seq, int slot) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : success : NULL }";
}
// The stream signal of a test slot (channel -1).
const std::string opened(int slot, const std::string& side) {
  return "{ slot " + std::to_string(slot) + ", pdu signal : " + side + " : active : -1 }";
}
const std::string error(int seq, int slot, const std::string& cause) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : error : " + cause + " }";
}

class SlotsTest : public RegistryTest {
 protected:
  std::vector<std::string> hooks_;
  TestFactory sync_{"sync", &hooks_};
  TestFactory async_{"async", &hooks_};

  void SetUp() override {
    RegistryTest::SetUp();
    sync_.trunk = 0;
    async_.trunk = 1;
    async_.release_now = false;
  }
  TestSlot* at(unsigned n) { return static_cast<TestSlot*>(Slots::instance().GetSlotAt(n)); }
};

struct CommandCase {
  const char* name;
  // Sent one after another on a registry with slot 1 (sync, releases at once) and slot 2
  // (async); the last is the one under test.
  std::vector<std::string> sent;
  std::vector<std::string> answers;
};

class SlotCommands : public SlotsTest, public testing::WithParamInterface<CommandCase> {};

TEST_P(SlotCommands, AnswerOnce) {
  ASSERT_EQ(exchange({create_at(101, 1, 0), create_at(102, 2, 1)}),
            wires({success(101, 1), success(102, 2)}));
  EXPECT_EQ(exchange(GetParam().sent), wires(GetParam().answers));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlotCommands,
    testing::Values(
        CommandCase{
            "CreateNothingServes", {create_at(1, 5, 9)}, {error(1, 5, "insufficientResources")}},
        CommandCase{"CreateOverSyncSlot", {create_at(1, 1, 0)}, {success(1, 1)}},
        CommandCase{"CreateOverAsyncSlot", {create_at(1, 2, 0)}, {error(1, 2, "slotIdBusy")}},
        CommandCase{"CreateOverReleasingSlot",
                    {command(1, 2, "destroy : NULL"), create_at(2, 2, 0)},
                    {error(2, 2, "destroyInProgress")}},
        CommandCase{"DestroyAtOnce", {command(1, 1, "destroy : NULL")}, {success(1, 1)}},
        CommandCase{
            "DestroyMissing", {command(1, 9, "destroy : NULL")}, {error(1, 9, "slotNotExists")}},
        CommandCase{
            "ConnectToFree", {command(1, 1, "connect : 5")}, {error(1, 1, "slotNotExists")}},
        CommandCase{"Connect",
                    {command(1, 1, "connect : 2")},
                    {opened(1, "transmitter"), opened(2, "receiver"), success(1, 1)}},
        CommandCase{"ConnectToReleasing",
                    {command(1, 2, "destroy : NULL"), command(2, 1, "connect : 2")},
                    {error(2, 1, "destroyInProgress")}},
        CommandCase{
            "DisconnectWithoutSource", {command(1, 1, "disconnect : NULL")}, {success(1, 1)}},
        CommandCase{"ActivateTaken", {command(1, 1, "activate : empty : NULL")}, {success(1, 1)}},
        CommandCase{"DeactivateUnsupported",
                    {command(1, 1, "deactivate : NULL")},
                    {error(1, 1, "unsupported")}},
        CommandCase{"QueryWithSlotNotTaken",
                    {command(1, 1, "query : NULL")},
                    {error(1, 1, "unexpectedMsgType")}}),
    [](const testing::TestParamInfo<CommandCase>& i) { return std::string(i.param.name); });

TEST_F(SlotsTest, AsyncDestroyAnswersOnRelease) {
  ASSERT_EQ(exchange(create_at(1, 2, 1)), wires({success(1, 2)}));
  EXPECT_EQ(exchange(command(7, 2, "destroy : NULL")), std::vector<std::string>{});
  TestSlot* s = at(2);
  ASSERT_TRUE(s && s->releasing);
  EXPECT_EQ(async_.GetSlots().size(), 1u);
  s->on_release();
  turns(2);
  EXPECT_EQ(frames(peer_.read()), wires({success(7, 2)}));
  EXPECT_EQ(at(2), nullptr);
  EXPECT_EQ(async_.deleted, 1);
  EXPECT_TRUE(async_.GetSlots().empty());
}

TEST_F(SlotsTest, ReleaseNotAskedByADestroyIsSilent) {
  ASSERT_EQ(exchange(create_at(1, 2, 1)), wires({success(1, 2)}));
  TestSlot* old = at(2);
  old->on_release();
  EXPECT_EQ(at(2), old) << "a slot that is not releasing stays";
  EXPECT_EQ(exchange(create_at(2, 2, 1)), wires({error(2, 2, "slotIdBusy")}));
  old->on_release();
  turns(2);
  EXPECT_EQ(frames(peer_.read()), std::vector<std::string>{});
  EXPECT_EQ(at(2), nullptr);
  // The number is free again.
  EXPECT_EQ(exchange(create_at(3, 2, 0)), wires({success(3, 2)}));
}

TEST_F(SlotsTest, DestroyDisconnectsBothSides) {
  ASSERT_EQ(exchange({create_at(1, 1), create_at(2, 2), create_at(3, 3),
                      command(4, 1, "connect : 2"), command(5, 2, "connect : 3")}),
            wires({success(1, 1), success(2, 2), success(3, 3), opened(1, "transmitter"),
                   opened(2, "receiver"), success(4, 1), opened(2, "transmitter"),
                   opened(3, "receiver"), success(5, 2)}));
  hooks_.clear();
  EXPECT_EQ(exchange(command(6, 2, "destroy : NULL")), wires({success(6, 2)}));
  EXPECT_EQ(hooks_, (std::vector<std::string>{
                        "sync hwDisconnectTransmitter sync", "sync onInputRelease",
                        "sync onOutputRelease", "sync hwDisconnectTransmitter sync",
                        "sync onInputRelease", "sync onOutputRelease", "sync beforeDestroy"}));
  EXPECT_TRUE(at(1)->sinks.empty());
  EXPECT_EQ(at(3)->source, nullptr);
}

TEST_F(SlotsTest, ReleasedSlotLeavesTheGraphBeforeDeletion) {
  ASSERT_EQ(exchange({create_at(1, 1), create_at(2, 2, 1)}), wires({success(1, 1), success(2, 2)}));
  ASSERT_EQ(exchange(command(3, 2, "destroy : NULL")), std::vector<std::string>{});
  // A kind that connects itself while releasing must not leave a dangling sink behind.
  TestSlot* releasing = at(2);
  ASSERT_TRUE(Connect(*at(1), *releasing));
  releasing->on_release();
  EXPECT_TRUE(at(1)->sinks.empty());
  turns(2);
  EXPECT_EQ(frames(peer_.read()),
            wires({opened(1, "transmitter"), opened(2, "receiver"), success(3, 2)}));
}

TEST_F(SlotsTest, ControllerDisconnectDestroysEverySlotSilently) {
  ASSERT_EQ(exchange({create_at(1, 1), create_at(2, 2, 1), create_at(3, 4, 1),
                      command(4, 4, "destroy : NULL")}),
            wires({success(1, 1), success(2, 2), success(3, 4)}));
  // What the slots report as they go reaches the controller while it is there, not after.
  ASSERT_EQ(exchange(create_at(5, 3)), wires({success(5, 3)}));
  at(1)->report_on_destroy = at(2)->report_on_destroy = at(3)->report_on_destroy = true;
  ASSERT_EQ(exchange(command(6, 3, "destroy : NULL")),
            wires({"{ slot 3, pdu signal : deactivated : networkError }", success(6, 3)}));
  signals().clear();
  // The controller vanishes: one that only ended its stream would still be owed the answer of
  // the destroy, and would keep its connection until it is sent.
  peer_.reset();
  turns(3);
  EXPECT_TRUE(signals().empty());
  EXPECT_EQ(waits(), 1);
  EXPECT_TRUE(Slots::instance().GetLive().empty());
  EXPECT_EQ(sync_.deleted, 2);
  EXPECT_EQ(async_.deleted, 2);
  EXPECT_TRUE(async_.GetSlots().empty());
  EXPECT_EQ(Slots::instance().GetSlotAt(4), nullptr);
}

TEST_F(SlotsTest, QueryAnswersThenReports) {
  // The chain is async, then sync: newest first.
  EXPECT_EQ(
      exchange("{ seq 3, pdu command : query : NULL }"),
      wires({"{ seq 3, pdu response : success : NULL }",
             "{ pdu signal : query : { boardMajor 0, boardMinor 0, rtp-g729 0, rtp-g723 0, "
             "rtp-g711 0, "
             "rtp-g711mcc 0, modem 2, mixer { }, mux TRUE, mcc-data 0, mcc-bri 0, mcc-trans 0, "
             "echoBus { }, t38-instances 0, digital-modems 0, lin16 0, universal 0 } }"}));
  EXPECT_EQ(async_.query_log, std::vector<std::string>{"async"});
  EXPECT_EQ(sync_.query_log, std::vector<std::string>{"sync"});
}

TEST_F(SlotsTest, TrunkStatusReachesEveryFactory) {
  Slots::instance().OnSignal(lgcp_signal("activated : NULL"));
  Slots::instance().OnSignal(
      lgcp_signal("trunkStatus : { trunk 1, state normal, slips 0, lossBF 0, lossCarrier 0, "
                  "lossAIS 0, lossRAI 0, name \"e1\", clockMaster FALSE }"));
  EXPECT_EQ(async_.query_log, std::vector<std::string>{"async trunkStatus"});
  EXPECT_EQ(sync_.query_log, std::vector<std::string>{"sync trunkStatus"});
}

struct ChainCase {
  const char* name;
  bool older_serves;
  bool newer_serves;
  const char* maker;
};

class FactoryChain : public SlotsTest, public testing::WithParamInterface<ChainCase> {};

TEST_P(FactoryChain, FirstFactoryThatMakesASlotWins) {
  // The controller's leaving walks the chain: these factories leave it with the test's body.
  ChainGuard chain;
  TestFactory older{"older", &hooks_}, newer{"newer", &hooks_};
  older.trunk = newer.trunk = 5;
  older.serve = GetParam().older_serves;
  newer.serve = GetParam().newer_serves;
  EXPECT_EQ(exchange(create_at(1, 6, 5)), wires({success(1, 6)}));
  EXPECT_STREQ(at(6)->GetName(), GetParam().maker);
  EXPECT_EQ(exchange(command(2, 6, "destroy : NULL")), wires({success(2, 6)}));
}

INSTANTIATE_TEST_SUITE_P(Cases, FactoryChain,
                         testing::Values(ChainCase{"NewerWins", true, true, "newer"},
                                         ChainCase{"NullGoesOn", true, false, "older"}),
                         [](const testing::TestParamInfo<ChainCase>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace
