// The SNMP agent links against fake agents on 127.0.0.1: batching by address type, the masks,
// relayed commands, pings, the silence timeout and the reconnection, on the test clock.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "monitoring/snmp_agent_ctrl.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/support/loopback.h"
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
  ctrl->Send(SnmpAgentCtrl::temperature, "41");
  ctrl->Send(Item(99), "ignored");
  const std::string tavo =
      "set 1:gatewayCommon.powerStatus[0]=2 3:e1Table.e1Connected[3]=1 "
      "5:gatewayCommon.temperature[0]=41";
  const std::vector<Strings> expected = {
      {tavo},
      {"set 2:gatewayCommon.powerStatus[0]=2 4:statusGeneral.sgBuildVersion[0]=v1\n"},
      {},
      {tavo},
  };
  EXPECT_EQ(received(), expected);

  MON::SnmpSetCommands relayed;
  ASSERT_TRUE(relayed.setFromValueNotation(
      "{ commands { { uniq 77, id oid : \"1.3.6.1.2\", value \"x\" } } }"));
  ctrl->Send(relayed);
  ctrl->Send(MON::SnmpSetCommands());
  ctrl->SendTrapsink({"127.0.0.5", "127.0.0.6:162"});
  ctrl->SendTrapsink({});
  // An empty list goes out too: it leaves the agent without receivers.
  const Strings both = {"set 77:1.3.6.1.2=x", "trapsink 127.0.0.5 127.0.0.6:162", "trapsink"};
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

// The uniq values of the "set" frames, in the order received (words of digits and a colon).
std::vector<int> uniqs_of(const Strings& frames) {
  std::vector<int> out;
  for (const std::string& frame : frames) {
    std::istringstream words(frame);
    for (std::string w; words >> w;)
      if (w[0] != ':' && w.find_first_not_of("0123456789") == w.find(':'))
        out.push_back(std::stoi(w));
  }
  return out;
}

TEST_F(AgentLinkTest, LargeSetListsAreCutIntoFramesTheTransportTakes) {
  connect_agents({"tavo", "lemzgw"});
  LogCapture logs;
  // Relayed: 150 values of 500 characters with one value no frame can carry among them.
  MON::SnmpSetCommands relayed;
  std::vector<int> sent;
  for (int i = 0; i < 151; ++i) {
    MON::SnmpSetCommand command;
    const bool huge = i == 60;
    command.set_uniq(huge ? 9999 : 1000 + i);
    MON::IniName& id = command.get_id().select_name();
    id.set_section("S");
    id.set_name("v" + std::to_string(i));
    id.set_index(0);
    command.set_value(std::string(huge ? 70000 : 500, char('a' + i % 26)));
    relayed.get_commands().push_back(command);
    if (!huge) sent.push_back(1000 + i);
  }
  ctrl->Send(relayed);
  // Queued items: 200 for type 2 alone, then 2 for types 2 and 4; the lemzgw link takes none.
  for (int i = 0; i < 200; ++i)
    ctrl->Send(SnmpAgentCtrl::extBoardTermCnt, i, std::string(600, 'x'));
  for (int i = 0; i < 2; ++i) ctrl->Send(SnmpAgentCtrl::ifDescr, i, "eth");
  std::vector<int> flushed;
  for (int i = 1; i <= 200; ++i) flushed.push_back(i);
  flushed.push_back(201);
  flushed.push_back(203);
  std::vector<int> tavo = sent;
  tavo.insert(tavo.end(), flushed.begin(), flushed.end());
  const std::vector<std::vector<int>> expected = {tavo, sent};
  turn_until([&] {
    return uniqs_of(agents[0]->frames).size() >= tavo.size() &&
           uniqs_of(agents[1]->frames).size() >= sent.size();
  });
  for (int i = 0; i < 5; ++i) run_loop_turn();
  for (size_t a = 0; a < agents.size(); ++a) {
    const std::vector<std::string> payloads = agents[a]->payloads;
    const Strings frames = agents[a]->take();
    EXPECT_EQ(uniqs_of(frames), expected[a]) << a;
    for (const std::string& hex : payloads) {
      EXPECT_LE(hex.size() / 2, size_t(Control::Service::max_message)) << a;
      EXPECT_GT(hex.size() / 2, 0u) << a;
    }
    for (const std::string& frame : frames) EXPECT_NE(frame, "undecodable") << a;
  }
  const Lines faults = logs.err.take_lines();
  // One line for the value no frame carries, none from the transport.
  ASSERT_EQ(faults.size(), 1u);
  const std::string head = "monitoring: SNMP set command uniq 9999 ", tail = ", not sent";
  EXPECT_TRUE(faults[0].compare(0, head.size(), head) == 0 &&
              faults[0].compare(faults[0].size() - tail.size(), tail.size(), tail) == 0)
      << faults[0];
}

// An agent that reads late: what its socket did not take waits, within the bound, and then
// reaches it whole and in order; beyond the bound frames are dropped and counted, and the link
// stays connected. Nothing of it holds the loop.
TEST_F(AgentLinkTest, FramesAnAgentTakesLateArriveWholeAndInOrder) {
  LoopbackListener listener;
  const int small = 4096;
  ASSERT_EQ(::setsockopt(listener.fd().get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  configure({{"tavo", "127.0.0.1:" + std::to_string(listener.port())}});
  struct : ISnmpAgentNotify {
    void OnSnmpAgentConnect(const std::string&) override { ++calls; }
    int calls = 0;
  } whole_state;  // the calls for the whole state
  ctrl->Bind(&whole_state);
  SnmpAgentInstance& link = *ctrl->agents().front();
  ASSERT_TRUE(turn_until([&] { return link.state() == SnmpAgentInstance::kConnected; }));
  Fd agent = listener.accept();
  ASSERT_TRUE(agent);
  // Frames of about 15 KB each, until some wait in the link; then until the bound drops some.
  LogCapture logs;
  int sent = 0;
  auto send = [&] {
    MON::SnmpSetCommands set;
    MON::SnmpSetCommand command;
    command.set_uniq(++sent);
    MON::IniName& id = command.get_id().select_name();
    id.set_section("S");
    id.set_name("N");
    id.set_index(0);
    command.set_value(std::string(15000, 'v'));
    set.get_commands().push_back(command);
    ctrl->Send(set);
  };
  while (link.outbox().queued() == 0 && sent < 1000) send();
  ASSERT_GT(link.outbox().queued(), 0u);
  const int waiting_from = sent;
  while (link.outbox().dropped() == 0 && sent < 1000) send();
  ASSERT_EQ(link.outbox().dropped(), 1u);
  EXPECT_LE(link.outbox().queued(), SnmpAgentOutbox::kBound);
  const int delivered = sent - 1;
  EXPECT_GT(delivered, waiting_from);
  const Lines lines = logs.err.take_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(": agent does not read, "), std::string::npos) << lines[0];

  // The agent reads: every frame up to the dropped one, whole and in order.
  ReadingAgent reader(std::move(agent));
  const bool all = turn_until(
      [&] {
        reader.read();
        return int(reader.frames.size()) >= delivered;
      },
      2000);
  EXPECT_TRUE(all);
  std::vector<int> expected(static_cast<size_t>(delivered));
  for (int i = 0; i < delivered; ++i) expected[size_t(i)] = i + 1;
  EXPECT_EQ(uniqs_of(reader.frames), expected);
  EXPECT_EQ(link.outbox().queued(), 0u);
  EXPECT_EQ(link.state(), SnmpAgentInstance::kConnected);
  // The agent missed a frame: having caught up, it is given the whole state again, once.
  EXPECT_TRUE(turn_until([&] { return whole_state.calls == 2; }));
  turns(3);
  EXPECT_EQ(whole_state.calls, 2);

  // With the bound all but reached, a ping still goes out: no frame dropped, no whole state owed.
  for (size_t room; (room = SnmpAgentOutbox::kBound - link.outbox().queued()) > 8;)
    link.SendFrame(std::vector<char>(std::min<size_t>(60000, room - 8)));
  ASSERT_EQ(link.outbox().queued(), SnmpAgentOutbox::kBound - 4);
  advance(5000);
  EXPECT_TRUE(turn_until([&] { return reader.read(), reader.frames.back() == "ping"; }, 2000));
  EXPECT_EQ(link.outbox().dropped(), 1u);
  EXPECT_EQ(whole_state.calls, 2);
  ctrl->UnBind();
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

  // Silent from now on: the first ping left unanswered for more than 30 s drops the link.
  for (int i = 0; i < 7; ++i) advance(5000);
  EXPECT_EQ(received()[0].size(), 7u);
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

// Pinged every 5 s whatever else is sent, an agent is kept while it answers, however busy the
// link or slowly it reads a backlog; dropped once a ping or its socket has waited over 30 s.
TEST_F(AgentLinkTest, AnAgentIsJudgedByWhatItReads) {
  const struct {
    bool busy;          // a value every 2 s; else 2 MB of values at once, more than the link keeps
    bool answers;
    size_t per_second;  // bytes the agent reads each second
    int dropped_at;     // the second the link is dropped at; 0: kept for 80 s
    const char* line;
  } rows[] = {{true, true, SIZE_MAX, 0, ""},
              {true, false, SIZE_MAX, 37, ": ping timeout !!!"},
              {false, true, 0, 36, ": agent reads nothing, "},
              {false, true, 16384, 0, ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    LoopbackListener listener;
    // The receive buffer of an agent that reads slowly: the kernel would not grow it.
    const int buffer = 64 << 10;
    ASSERT_EQ(::setsockopt(listener.fd().get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer), 0);
    configure({{"tavo", "127.0.0.1:" + std::to_string(listener.port())}});
    SnmpAgentInstance& link = *ctrl->agents().front();
    ASSERT_TRUE(turn_until([&] { return link.state() == SnmpAgentInstance::kConnected; }));
    ReadingAgent agent(listener.accept());
    agent.answer_pings = row.answers;
    LogCapture logs;
    for (int i = 0; i < 140 && !row.busy; ++i)
      ctrl->Send(SnmpAgentCtrl::extBoardTermCnt, i, std::string(15000, 'v'));
    int dropped_at = 0, pings = 0, pinged_at = 0;
    for (int second = 1; second <= 80 && !dropped_at; ++second) {
      advance(1000);
      if (row.busy && second % 2) ctrl->Send(SnmpAgentCtrl::gatewayDip, std::to_string(second));
      agent.read(row.per_second);
      turns(2);
      if (!link.connected()) dropped_at = second;
      const int got = int(std::count(agent.frames.begin(), agent.frames.end(), "ping"));
      if (got > pings) pings = got, pinged_at = second;
      ASSERT_TRUE(!row.busy || second - pinged_at <= 6) << second;
    }
    const std::string log = logs.log.take();
    EXPECT_EQ(dropped_at, row.dropped_at) << log;
    EXPECT_NE(log.find(row.line), std::string::npos) << log;
    EXPECT_TRUE(row.dropped_at || pings > 1);
    ctrl.reset();
  }
}

// A flood of bad frames gives one line a second per kind; the count owed is written when the
// agent goes away.
TEST_F(AgentLinkTest, BadFramesAreLoggedOnceASecondPerKind) {
  connect_agents({"tavo"});
  FakeAgent& agent = *agents[0];
  const std::string head = "snmpagent.tavo 127.0.0.1:" + std::to_string(agent.port());
  const std::string undecodable(1, '\xff');
  const std::string command(1, '\x18');  // pdu command : ping : NULL
  LogCapture logs;
  const auto bad_frame_lines = [&] {
    Strings out;
    for (const std::string& line : logs.err.take_lines())
      if (line.find(": receive") != std::string::npos) out.push_back(line);
    return out;
  };
  for (int i = 0; i < 50; ++i) agent.send_raw(undecodable);
  agent.send_raw(command);
  agent.send_raw(undecodable);
  agent.send_raw(command);
  received();
  EXPECT_EQ(bad_frame_lines(),
            (Strings{head + ": receive : decode error!", head + ": receive unknown message type"}));
  advance(1000);
  agent.send_raw(undecodable);
  received();
  EXPECT_EQ(bad_frame_lines(),
            Strings{head + ": receive : decode error! (50 similar lines left out)"});
  agent.send_raw(undecodable);
  agent.send_raw(undecodable);
  agent.drop();
  ASSERT_TRUE(
      turn_until([&] { return ctrl->agents().front()->state() == SnmpAgentInstance::kLost; }));
  EXPECT_EQ(bad_frame_lines(),
            (Strings{head + ": receive : decode error! (1 similar lines left out)",
                     head + ": receive unknown message type"}));
}

TEST_F(AgentLinkTest, HostsThatNameNoAgentMakeNoLink) {
  LogCapture logs;
  configure({{"tavo", "127.0.0.1"},
             {"tavo", "127.0.0.1:70000"},
             {"lemzgw", "127.0.0.1:9"},
             {"tavo.x", "127.0.0.1:9"},
             {"tavo", "127.0.0.1:65535x"},
             {"tavo", "127.0.0.1:"},
             {"tavo", "127.0.0.1:+9"},
             {"tavo", "127.0.0.1: 9"},
             {"tavo", "127.0.0.1:-1"},
             {"tavo", "127.0.0.1:0x10"},
             {"tavo", "127.0.0.1:0"},
             {"tavo", "127.0.0.1:9\x1b[2J" + std::string(100, '9')}});
  const Strings faults = logs.err.take_lines();
  std::vector<bool> transports;
  for (auto& link : ctrl->agents()) transports.push_back(link->has_transport());
  EXPECT_EQ(transports, (std::vector<bool>{false, false, true, false, false, false, false, false,
                                           false, false, false, false}));
  ASSERT_EQ(faults.size(), 11u);
  EXPECT_EQ(faults[0], "snmpagent.tavo: host \"127.0.0.1\" has no port, no link");
  EXPECT_EQ(faults[3],
            "snmpagent.tavo: host \"127.0.0.1:65535x\" has a port that is not a decimal number, "
            "no link");
  EXPECT_EQ(faults[9], "snmpagent.tavo: host \"127.0.0.1:0\" has port 0, no link");
  // Escaped and cut, as every text of the file in a log line.
  EXPECT_EQ(faults[10], "snmpagent.tavo: host \"127.0.0.1:9\\x1b[2J" + std::string(45, '9') +
                            "\"... has a port that is not a decimal number, no link");
}

}  // namespace
