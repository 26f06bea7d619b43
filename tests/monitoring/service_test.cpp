// The monitoring service on a simulated board: its timers, the power signal, the framer LEDs,
// the configuration and driver versions, and what an SNMP agent receives.
#include "tests/support/service_test.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "base/version.h"
#include "monitoring/monitoring_ctl.h"
#include "monitoring/net_if_probe.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_root.h"

namespace {

using Strings = std::vector<std::string>;

// One interface, eth0 at index 2, always running.
class OneInterface : public NetIfProbe {
 public:
  Outcome probe(int index, std::string* name, unsigned* flags) override {
    if (index != 2) return kFailed;
    if (name) *name = "eth0";
    if (flags) *flags = 0x41;
    return kOk;
  }
};

// The items of a "set" summary ("section.name[index]=value"), in order, without their uniq.
Strings items_of(const std::string& frame) {
  static const std::regex uniq(" [0-9]+:");
  Strings out;
  std::sregex_token_iterator piece(frame.begin(), frame.end(), uniq, -1), end;
  for (++piece; piece != end; ++piece) out.push_back(*piece);
  return out;
}

// How many of `frames` hold `text`.
long holding(const Strings& frames, const std::string& text) {
  return std::count_if(frames.begin(), frames.end(),
                       [&](const std::string& frame) { return frame.find(text) != frame.npos; });
}

class MonitoringTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    char here[PATH_MAX];
    ASSERT_TRUE(::getcwd(here, sizeof here));
    cwd_ = here;
    NetIfProbe::replace(&probe_);
  }
  void TearDown() override {
    ServiceTest::TearDown();
    NetIfProbe::replace(nullptr);
    EXPECT_EQ(::chdir(cwd_.c_str()), 0);
  }
  void destroy() override {
    ctl.reset();
    agent.reset();
    for (int i = 0; i < 3; ++i) run_loop_turn();
  }

  // The service, with one "tavo" agent connected when `with_agent`, and a link to `also`.
  void make(bool with_agent, const std::string& also = "") {
    std::ostringstream text;
    if (with_agent) {
      agent.reset(new FakeAgent);
      text << "[snmpagent]\nhost = 127.0.0.1:" << agent->port() << "\nname = tavo\n";
    }
    if (!also.empty()) text << "[snmpagent]\nhost = " << also << "\nname = tavo\n";
    std::istringstream in(text.str());
    in >> config;
    ctl.reset(new MonitoringCtl);
    ctl->Configure(config);
    if (with_agent) {
      ASSERT_TRUE(turn_until([&] {
        return agent->connected() &&
               ctl->agents().agents().front()->state() == SnmpAgentInstance::kConnected;
      }));
    }
  }
  void display(const std::string& text) {
    LGCP::DisplayParams p;
    ASSERT_TRUE(p.setFromValueNotation(text)) << text.substr(0, 200);
    ctl->OnDisplayCMD(p);
  }
  // What the agent received by now.
  Strings frames() {
    for (int i = 0; i < 5; ++i) run_loop_turn();
    return agent->take();
  }
  std::string at(const std::string& path) const { return sim.root() + path; }
  // The agent drops the link, which connects again 10 s later.
  void reconnect_agent() {
    agent->drop();
    ASSERT_TRUE(turn_until([&] { return !ctl->agents().agents().front()->connected(); }));
    turn(10000);
    ASSERT_TRUE(turn_until([&] { return agent->connected(); }));
  }
  void write(const std::string& path, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(at(path)).parent_path());
    std::ofstream(at(path)) << text;
  }

  IniFile::File config;
  std::unique_ptr<MonitoringCtl> ctl;
  std::unique_ptr<FakeAgent> agent;

 private:
  OneInterface probe_;
  std::string cwd_;
};

TEST_F(MonitoringTest, ChecksRunOnTheirThreePeriods) {
  sim.command("hal dip 5");
  sim.command("hal power 0");
  make(false);
  MonitoringDataHolder& store = ctl->store();
  turn(999);
  EXPECT_EQ(store.build_version, "");
  turn(1);
  EXPECT_EQ(store.build_version, "orvex-board 2.4.1\n");
  EXPECT_EQ(store.temperature, "41");
  ASSERT_EQ(store.framers.size(), 2u);
  EXPECT_EQ(store.framers.front().state, "No Carrier");
  EXPECT_EQ(store.dip_value, -1);
  turn(999);
  EXPECT_EQ(store.dip_value, -1);
  turn(1);
  EXPECT_EQ(store.dip_value, 5);
  EXPECT_EQ(read_file(at("/var/monitoring/powerstatus")), "3");
  EXPECT_EQ(store.net_ifs.front().running, 0);
  EXPECT_EQ(sim.command("hal leds"), Strings{"0x00"});

  sim.command("hal dip 7");
  turn(1999);
  EXPECT_EQ(store.dip_value, 5);
  turn(1);
  EXPECT_EQ(store.dip_value, 7);
  EXPECT_EQ(store.net_ifs.front().running, 1);
  turn(1000);
  EXPECT_EQ(read_file(at("/var/monitoring/controller/self/status")), "5") << "no controller runs";

  write("/var/version", "2.5\n");
  turn(61000 - 5000 - 1);
  EXPECT_EQ(store.build_version, "orvex-board 2.4.1\n");
  turn(1);
  EXPECT_EQ(store.build_version, "2.5\n");
}

TEST_F(MonitoringTest, PowerBytesAndTheSignalAtEveryConnection) {
  make(false);
  const struct {
    int raw;
    int status;
  } cases[] = {{2, 2}, {0, 3}, {1, 1}, {3, 3}, {4, 0}, {5, 0}, {255, 0}};
  for (const auto& c : cases) {
    sim.command("hal power " + std::to_string(c.raw));
    ctl->doPowerCheck();
    EXPECT_EQ(ctl->store().power_status.asInt(), c.status) << c.raw;
  }
  sim.command("hal power 2");
  connect({ctl.get()});
  EXPECT_EQ(take(), (Lines{"power", "power"})) << "a change at connection signals twice";
  disconnect();
  reconnect();
  EXPECT_EQ(take(), Lines{"power"});
}

// Numbers from the controller that the service passes on with 1 added: where the sum has no
// int, the report is refused with invalidParams and neither kept nor passed on.
TEST_F(MonitoringTest, ReportsWhoseRowWouldOverflowAreRefused) {
  make(true);
  connect({ctl.get()});
  take();
  frames();
  const std::string phone_rest =
      ", panelSV '50'H, ctrlSV '43'H, fpgaSV '46'H, status ready, powerStatus main, mode active, "
      "hookStatus connected, baseStatus connected }";
  const struct {
    const char* name;
    std::string display;
    const char* answer;
    const char* first_item;  // the first item the agent receives; null: none
  } cases[] = {
      {"largest em-phone id", "emPhone : phoneStatus : { id 2147483647" + phone_rest, "error 0",
       nullptr},
      {"em-phone id below it", "emPhone : phoneStatus : { id 2147483646" + phone_rest, "success",
       "emPhoneTable.emPhonePanelSoftVer[2147483647]=P"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(command("display : " + c.display), Lines{c.answer});
    const Strings got = frames();
    if (!c.first_item) {
      EXPECT_EQ(got, Strings{});
      EXPECT_TRUE(ctl->store().em_phones.empty());
      continue;
    }
    ASSERT_EQ(got.size(), 1u);
    ASSERT_FALSE(items_of(got[0]).empty());
    EXPECT_EQ(items_of(got[0]).front(), c.first_item);
  }
}

TEST_F(MonitoringTest, FramerLedsFollowLineAndLinkReports) {
  make(false);
  const struct {
    const char* info;
    const char* leds;
  } steps[] = {
      {"{ e1 1, info line : TRUE }", "0x0c"}, {"{ e1 1, info link : TRUE }", "0x08"},
      {"{ e1 1, info line : TRUE }", "0x08"}, {"{ e1 0, info link : FALSE }", "0x09"},
      {"{ e1 3, info line : TRUE }", "0xc9"}, {"{ e1 1, info line : FALSE }", "0xc1"},
  };
  for (const auto& s : steps) {
    LGCP::DisplayParams p;
    ASSERT_TRUE(p.setFromValueNotation(std::string("framer : ") + s.info)) << s.info;
    ctl->OnDisplayCMD(p);
    EXPECT_EQ(sim.command("hal leds"), Strings{s.leds}) << s.info;
  }
  ctl.reset();
  EXPECT_EQ(sim.command("hal leds"), Strings{"0x00"}) << "off when the service ends";
}

TEST_F(MonitoringTest, ConfigurationAndDriverVersions) {
  make(true);
  frames();
  write("/usr/local/etc/config.2save.tar.bz2", "");
  write("/usr/local/etc/config.0000000a.00000000000000ff", "");
  write("/usr/local/etc/config.abc", "");
  std::filesystem::create_directories(at("/usr/local/etc/config.00000001.0000000000000001"));
  ctl->doConfigCheck();
  EXPECT_EQ(ctl->store().config_version32, 10u);
  EXPECT_EQ(ctl->store().config_version64, 255u);
  EXPECT_EQ(read_file(at("/var/monitoring/config_version")), "0000000a-00000000000000ff");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(at("/usr/local/etc")));
  const Strings got = frames();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(items_of(got[0]), Strings{"gatewayCommon.gatewayConfigVersion[0]=10"});

  // Both numbers start from 0 at each check: pieces that are not hexadecimal give 0, not the
  // numbers of the check before.
  std::filesystem::remove(at("/usr/local/etc/config.0000000a.00000000000000ff"));
  write("/usr/local/etc/config.zzzzzzzz.zzzzzzzzzzzzzzzz", "");
  ctl->doConfigCheck();
  EXPECT_EQ(ctl->store().config_version32, 0u);
  EXPECT_EQ(ctl->store().config_version64, 0u);
  EXPECT_EQ(read_file(at("/var/monitoring/config_version")), "00000000-0000000000000000");
  const Strings reset = frames();
  ASSERT_EQ(reset.size(), 1u);
  EXPECT_EQ(items_of(reset[0]), Strings{"gatewayCommon.gatewayConfigVersion[0]=0"});

  const struct {
    const char* line;
    const char* value;
  } cases[] = {{"v 1.2 2020\n", "1.2 [2020]"},
               {"v 1.2\n", "none"},
               {"drv 3.2.0 2024 sim extra\n", "3.2.0 [2024 sim]"},
               {"a 1.0  b\n", "1.0 [ b]"},
               {"a\t 1.0\t \tb\n", "1.0 [b]"}};
  for (const auto& c : cases) {
    write("/proc/voice/version", c.line);
    ctl->sendSnmpDriverBuild();
    const Strings got = frames();
    ASSERT_EQ(got.size(), 1u) << c.line;
    EXPECT_EQ(items_of(got[0]), Strings{std::string("gatewayCommon.driverBuild[0]=") + c.value})
        << c.line;
  }
  write("/proc/voice/version", "");
  ctl->sendSnmpDriverBuild();
  EXPECT_EQ(frames(), Strings{}) << "no line, nothing sent";
}

// From the connection on, through the first checks (whose records change in some fields only),
// the agent gets each value once; a value that changes goes out again.
TEST_F(MonitoringTest, AnAgentGetsEachValueOnceUntilItChanges) {
  make(true);
  Strings items;
  for (int second = 0; second < 3; ++second) {
    turn(1000);
    for (const std::string& frame : frames())
      for (const std::string& item : items_of(frame)) items.push_back(item);
  }
  ASSERT_GT(items.size(), 20u);
  Strings sorted = items;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end())
      << *std::adjacent_find(sorted.begin(), sorted.end());
  sim.command("hal dip 6");
  turn(2000);
  Strings next = frames();
  next.erase(std::remove(next.begin(), next.end(), "ping"), next.end());
  ASSERT_EQ(next.size(), 1u);
  const Strings changed = items_of(next[0]);
  EXPECT_NE(std::find(changed.begin(), changed.end(), "gatewayCommon.gatewayDip[0]=6"),
            changed.end())
      << next[0];
}

class FolderTest : public MonitoringTest, public testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(Monitoring, FolderTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Refused" : "Written"; });

// The rows an agent is owed do not depend on the files: they are all sent again with the
// monitoring folder refused (a link out of the root) as well.
TEST_P(FolderTest, AnAgentThatConnectsGetsTheWholeStateInOrder) {
  sim.command("hal dip 5");
  if (GetParam()) {
    std::filesystem::remove_all(at("/var/monitoring"));
    std::filesystem::create_directory_symlink(sim.root() + "-outside", at("/var/monitoring"));
  }
  make(true);
  frames();
  turn(2000);
  const char* const displays[] = {
      "board : boardStatus : { position 0, version '31'H, status ready, type isdn }",
      "emPhone : phoneStatus : { id 0, panelSV '50'H, ctrlSV '43'H, fpgaSV '46'H, status ready, "
      "powerStatus main, mode active, hookStatus connected, baseStatus connected }",
      "termCounter : { owner router, cnt 7 }",
      "termCounter : { owner extBoard, cnt 9 }",
      "termCounter : { owner extBoard, ownerId 3, cnt -1 }",
      "snmpTrapReceivers : { \"127.0.0.5\" }",
      "snmp-set : { commands { { uniq 40, id name : { section \"S\", name \"N\", index 0 }, value "
      "\"V\" } } }",
  };
  for (const char* text : displays) display(text);
  const Strings live = frames();
  ASSERT_GE(live.size(), 3u);
  EXPECT_EQ(items_of(live.back()).size(), 3u + 8u + 1u + 1u)
      << "every display sends all counters; the router's, unchanged, goes out once";

  reconnect_agent();
  const Strings got = frames();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "trapsink 127.0.0.5");
  EXPECT_EQ(got[1], "set 40:S.N[0]=V");
  std::ostringstream tag;
  tag << Version::current;
  Strings expected = {"gatewayCommon.driverBuild[0]=3.2.0 [2024-05-01 sim]",
                      "gatewayCommon.softwareBuild[0]=" + tag.str()};
  for (const char* item : {"powerStatus[0]=3", "controllerStatus[0]=5", "gatewayDip[0]=5",
                           "gatewayConfigVersion[0]=4294967295", "temperature[0]=41"})
    expected.push_back(std::string("gatewayCommon.") + item);
  for (const char* item : {"Status[0]=3", "SoftVer[0]=1", "Type[0]=1"})
    expected.push_back(std::string("extBoardTable.extBoard") + item);
  for (const char* item :
       {"PanelSoftVer[1]=P", "CtrlSoftVer[1]=C", "FpgaSoftVer[1]=F", "Status[1]=2",
        "PowerStatus[1]=2", "Mode[1]=1", "HookStatus[1]=1", "BaseStatus[1]=1"})
    expected.push_back(std::string("emPhoneTable.emPhone") + item);
  expected.push_back("gatewayTermCounters.routerTermCnt[0]=7");
  expected.push_back("extBoardTermCntTable.extBoardTermCnt[3]=4294967295");
  for (const char* e1 : {"1", "2"})
    for (const std::string item : {"Connected[#]=0", "StatusDsc[#]=No Carrier", "SignalLoss[#]=1",
                                   "FrameAlignLoss[#]=1", "NegSlipCount[#]=0", "PosSlipCount[#]=0"})
      expected.push_back("e1Table.e1" + item.substr(0, item.find('#')) + e1 +
                         item.substr(item.find('#') + 1));
  for (const char* item : {"ifOperStatus[2]=1", "ifAdminStatus[2]=1", "ifDescr[2]=eth0"})
    expected.push_back(std::string("ifTable.") + item);
  EXPECT_EQ(items_of(got[2]), expected);

  // The controller leaves and its board is forgotten: an agent that connects then gets no row
  // of it, and gets the row when the board is reported again, unchanged.
  ctl->OnDisconnect();
  reconnect_agent();
  EXPECT_EQ(holding(frames(), "extBoardTable"), 0);
  display(displays[0]);
  const Strings again = frames();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(items_of(again[0]), Strings(expected.begin() + 7, expected.begin() + 10));
  EXPECT_EQ(std::filesystem::exists(at("/var/monitoring/board0")), !GetParam());
}

// The numbers n of the set commands (oid 1.3.6.1.n) among `frames`, in order.
std::vector<size_t> set_values(const Strings& frames) {
  std::vector<size_t> out;
  for (const std::string& frame : frames)
    for (size_t at = 0; (at = frame.find(":1.3.6.1.", at)) != std::string::npos; ++at)
      out.push_back(std::stoul(frame.substr(at + 9)));
  return out;
}

// Beside an agent that reads at once, one that reads late misses values of a large store: once
// it has caught up it gets the whole state, all of it; the other gets only what changes.
TEST_F(MonitoringTest, AWholeStateGoesOnlyToTheAgentThatMissedValues) {
  LoopbackListener listener;
  const int small = 4096;
  ASSERT_EQ(::setsockopt(listener.fd().get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  make(true, "127.0.0.1:" + std::to_string(listener.port()));
  const SnmpAgentInstance& late_link = *ctl->agents().agents().back();
  ASSERT_TRUE(turn_until([&] { return late_link.connected(); }));
  ReadingAgent late(listener.accept());
  const std::string whole = ".softwareBuild[0]=";  // an item of each whole state, once
  ASSERT_TRUE(turn_until([&] { return holding(agent->frames, whole) == 1; }));
  // Values of 16000 characters, 25 at a time, until some are dropped for the late agent.
  size_t values = 0;
  while (late_link.outbox().dropped() == 0 && values < 2000) {
    std::string text = "snmp-set : { commands { ";
    for (const size_t end = values + 25; values < end; ++values)
      text += (values % 25 ? ", { uniq " : "{ uniq ") + std::to_string(values) +
              ", id oid : \"1.3.6.1." + std::to_string(values) + "\", value \"" +
              std::string(16000, 'v') + "\" }";
    display(text + " } }");
    ASSERT_TRUE(turn_until([&] { return set_values(agent->frames).size() == values; }));
  }
  ASSERT_GT(late_link.outbox().dropped(), 0u);
  // A new driver, read with the next whole state: the agent that reads gets it as a change.
  write("/proc/voice/version", "drv 4.0 2026\n");
  ASSERT_TRUE(turn_until(
      [&] {
        late.read();
        return holding(late.frames, whole) == 2 && late_link.outbox().queued() == 0;
      },
      2000));
  for (int i = 0; i < 5; ++i) run_loop_turn();
  late.read();
  EXPECT_EQ(holding(late.frames, whole), 2);
  const std::vector<size_t> got = set_values(late.frames);
  EXPECT_EQ(std::set<size_t>(got.begin(), got.end()).size(), values);
  EXPECT_TRUE(late_link.connected());
  EXPECT_EQ(holding(agent->frames, whole), 1);
  EXPECT_EQ(set_values(agent->frames).size(), values);
  for (const Strings* frames : {&late.frames, &agent->frames})
    EXPECT_EQ(holding(*frames, "gatewayCommon.driverBuild[0]=4.0 [2026]"), 1);
}

}  // namespace
