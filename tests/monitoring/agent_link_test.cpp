// The SNMP agent links against fake agents on 127.0.0.1: batching by address type, the masks,
// relayed commands, pings, the silence timeout and the reconnection, on the test clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "monitoring/snmp_agent_ctrl.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/support/loop_test.h"
#include "tests/support/stream_capture.h"

namespace {

using Strings = std::vector<std::string>;
using Item = SnmpAgentCtrl::MonitoringItemType;

class AgentLinkTest : public LoopTest {
 protected:
  void TearDown() override {
    ctrl.reset();
    agents.clear();
    for (int i = 0; i < 3; ++i) run_loop_turn();
    LoopTest::TearDown();
  }

  // One "snmpagent" section per (name, host) pair.
  void configure(const std::vector<std::pair<std::string, std::string>>& links) {
    std::ostringstream text;
    for (const auto& [name, host] : links)
      text << "[snmpagent]\nhost = " << host << "\nname = " << name << "\n";
    std::istringstream in(text.str());
    in >> config;
    ctrl.reset(new SnmpAgentCtrl);
    ctrl->CreateInstances(*config["snmpagent"]);
  }
  // Fake agents with these link names, configured and connected.
  void connect_agents(const Strings& names) {
    std::vector<std::pair<std::string, std::string>> links;
    for (const std::string& name : names) {
      agents.emplace_back(new FakeAgent);
      links.emplace_back(name, "127.0.0.1:" + std::to_string(agents.back()->port()));
    }
    configure(links);
    ASSERT_TRUE(turn_until([&] {
      for (auto& a : agents)
        if (!a->connected()) return false;
      for (auto& l : ctrl->agents())
        if (l->state() != SnmpAgentInstance::kConnected) return false;
      return true;
    }));
  }
  // What each agent received until the loop is quiet.
  std::vector<Strings> received() {
    for (int i = 0; i < 5; ++i) run_loop_turn();
    std::vector<Strings> out;
    for (auto& a : agents) out.push_back(a->take());
    return out;
  }

  IniFile::File config;
  std::unique_ptr<SnmpAgentCtrl> ctrl;
  std::vector<std::unique_ptr<FakeAgent>> agents;
};

TEST_F(AgentLinkTest, ItemsGoOutInOneFramePerListToTheAgentsOfTheirTypes) {
  connect_agents({"tavo", "lemzgw.xj", "lemzgw", "2"});
  ctrl->Send(SnmpAgentCtrl::powerStatus, "2");
  ctrl->Send(SnmpAgentCtrl::e1Connected, 3, "1");
  ctrl->Send(SnmpAgentCtrl::sgBuildVersion, "v1\n");
  ctrl->Send(Item(99), "ignored");
  const std::vector<Strings> expected = {
      {"set 1:gatewayCommon.powerStatus[0]=2 3:e1Table.e1Connected[3]=1"},
      {"set 2:gatewayCommon.powerStatus[0]=2 4:statusGeneral.sgBuildVersion[0]=v1\n"},
      {},
      {"set 1:gatewayCommon.powerStatus[0]=2 3:e1Table.e1Connected[3]=1"},
  };
  EXPECT_EQ(received(), expected);

  MON::SnmpSetCommands relayed;
  ASSERT_TRUE(relayed.setFromValueNotation(
      "{ commands { { uniq 77, id oid : \"1.3.6.1.2\", value \"x\" } } }"));
  ctrl->Send(relayed);
  ctrl->Send(MON::SnmpSetCommands());
  ctrl->SendTrapsink({"127.0.0.5", "127.0.0.6:162"});
  ctrl->SendTrapsink({});
  const Strings both = {"set 77:1.3.6.1.2=x", "trapsink 127.0.0.5 127.0.0.6:162"};
  EXPECT_EQ(received(), (std::vector<Strings>{both, both, both, both}));
}

TEST_F(AgentLinkTest, LongListsGoOutInFramesTheAgentCanDecode) {
  connect_agents({"tavo"});
  for (int i = 0; i < 300; ++i) ctrl->Send(SnmpAgentCtrl::extBoardTermCnt, i, "1");
  const Strings got = received()[0];
  ASSERT_EQ(got.size(), 3u);
  size_t commands = 0;
  for (const std::string& frame : got) {
    ASSERT_EQ(frame.compare(0, 4, "set "), 0) << frame;
    commands += size_t(std::count(frame.begin(), frame.end(), '='));
  }
  EXPECT_EQ(commands, 300u);
  EXPECT_NE(got[2].find(" 300:extBoardTermCntTable.extBoardTermCnt[299]=1"), std::string::npos);
}

TEST_F(AgentLinkTest, ValuesQueuedWhileNoAgentIsConnectedAreDropped) {
  agents.emplace_back(new FakeAgent);
  configure({{"tavo", "127.0.0.1:" + std::to_string(agents[0]->port())}});
  ctrl->Send(SnmpAgentCtrl::temperature, "40");
  turns();
  ASSERT_TRUE(
      turn_until([&] { return ctrl->agents().front()->state() == SnmpAgentInstance::kConnected; }));
  EXPECT_EQ(received(), (std::vector<Strings>{{}}));
}

TEST_F(AgentLinkTest, PingsFollowTheLastFrameAndASilentAgentIsDropped) {
  connect_agents({"tavo"});
  FakeAgent& agent = *agents[0];
  advance(2000);
  ctrl->Send(SnmpAgentCtrl::gatewayDip, "5");
  EXPECT_EQ(received()[0].size(), 1u);
  agent.payloads.clear();
  advance(4999);
  EXPECT_EQ(received(), (std::vector<Strings>{{}}));
  advance(1);
  EXPECT_EQ(received(), (std::vector<Strings>{{"ping"}}));
  EXPECT_EQ(agent.payloads, Strings{"18"});

  // Undecodable frames are logged and still count as traffic.
  agent.answer_pings = false;
  LogCapture logs;
  for (int i = 0; i < 7; ++i) {
    advance(5000);
    agent.send_raw(std::string(1, '\xff'));
  }
  EXPECT_EQ(received()[0].size(), 7u);
  EXPECT_EQ(agent.disconnects, 0);
  EXPECT_NE(logs.err.take().find("127.0.0.1:" + std::to_string(agent.port()) +
                                 ": receive : decode error!"),
            std::string::npos);

  // Silent from now on: the frame after 30 s without any received frame drops the link.
  for (int i = 0; i < 6; ++i) advance(5000);
  EXPECT_EQ(received()[0].size(), 6u);
  EXPECT_EQ(agent.disconnects, 0);
  advance(5000);
  ASSERT_TRUE(turn_until([&] { return agent.disconnects == 1; }));
  EXPECT_NE(
      logs.log.take().find("tavo 127.0.0.1:" + std::to_string(agent.port()) + ": ping timeout !!!"),
      std::string::npos);
  EXPECT_EQ(ctrl->agents().front()->state(), SnmpAgentInstance::kLost);

  // The transport comes back 10000 ms after the loss.
  advance(9999);
  for (int i = 0; i < 5; ++i) run_loop_turn();
  EXPECT_EQ(agent.connects, 1);
  advance(1);
  ASSERT_TRUE(
      turn_until([&] { return ctrl->agents().front()->state() == SnmpAgentInstance::kConnected; }));
  EXPECT_EQ(agent.connects, 2);
}

TEST_F(AgentLinkTest, HostsThatNameNoAgentMakeNoLink) {
  LogCapture logs;
  configure({{"tavo", "127.0.0.1"},
             {"tavo", "127.0.0.1:70000"},
             {"lemzgw", "127.0.0.1:9"},
             {"tavo.x", "127.0.0.1:9"}});
  const Strings faults = logs.err.take_lines();
  std::vector<bool> transports;
  for (auto& link : ctrl->agents()) transports.push_back(link->has_transport());
  EXPECT_EQ(transports, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0], "snmpagent.tavo: host \"127.0.0.1\" has no port, no link");
}

}  // namespace
