// The status store: its files under the monitoring folder, byte for byte, and what it keeps.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "monitoring/monitoring_data_holder.h"
#include "tests/support/loop_test.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

// On the test clock: the store throttles its log lines.
class StoreTest : public LoopTest {
 protected:
  StoreTest() { fs::create_directories(root.path() + "/var/monitoring"); }

  std::string mon(const std::string& tail) const { return root.path() + "/var/monitoring/" + tail; }
  bool exists(const std::string& tail) const {
    std::error_code error;
    return fs::exists(fs::symlink_status(mon(tail), error));
  }
  mode_t mode(const std::string& tail) const {
    struct stat st;
    return ::stat(mon(tail).c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  std::string self_dotted(const MonitoringDataHolder& store) const {
    char text[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, &store.self_address.in().sin_addr, text, sizeof text);
  }

  TempRoot root;
};

size_t open_descriptors() {
  return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(StoreTest, StartUpClearsTheTopLevelAndKeepsFullFolders) {
  std::ofstream(mon("board7")) << "old";
  fs::create_directories(mon("term_cnts"));
  std::ofstream(mon("term_cnts/router")) << "5";
  fs::create_directories(mon("empty"));
  MonitoringDataHolder store;
  EXPECT_FALSE(exists("board7"));
  EXPECT_FALSE(exists("empty"));
  EXPECT_EQ(read_file(mon("term_cnts/router")), "5");
  EXPECT_EQ(mode("term_cnts"), 0755u);
}

TEST_F(StoreTest, DisplayedBoardsPhonesAndCountersAreWrittenOnEveryReport) {
  MonitoringDataHolder store;
  LGCP::DisplayParams board;
  ASSERT_TRUE(board.setFromValueNotation(
      "board : boardStatus : { position 2, version '312E30'H, status ready, type fxs }"));
  store.setDisplayStatus(board);
  store.setDisplayStatus(board);
  EXPECT_EQ(read_file(mon("board2")), "3\n1.0\n2\n");
  EXPECT_EQ(store.boards.size(), 1u);

  LGCP::DisplayParams phone;
  ASSERT_TRUE(phone.setFromValueNotation(
      "emPhone : phoneStatus : { id 0, panelSV '41'H, ctrlSV '42'H, fpgaSV ''H, status ready, "
      "powerStatus both, mode sleep, hookStatus connected, baseStatus disconnected }"));
  store.setDisplayStatus(phone);
  EXPECT_EQ(read_file(mon("emphone0")), "A\nB\n\n2\n3\n2\n1\n2\n");

  // Counters of one owner match only with the same ownerId, or when both have none.
  const char* const counters[] = {
      "termCounter : { owner router, cnt 7 }",
      "termCounter : { owner extBoard, cnt 1 }",
      "termCounter : { owner extBoard, ownerId 5, cnt 2 }",
      "termCounter : { owner extBoard, ownerId 6, cnt 3 }",
      "termCounter : { owner extBoard, ownerId 5, cnt 4 }",
      "termCounter : { owner router, cnt -1 }",
  };
  for (const char* text : counters) {
    LGCP::DisplayParams p;
    ASSERT_TRUE(p.setFromValueNotation(text)) << text;
    store.setDisplayStatus(p);
  }
  EXPECT_EQ(read_file(mon("term_cnts/router")), "-1");
  EXPECT_EQ(read_file(mon("term_cnts/board5")), "4");
  EXPECT_EQ(read_file(mon("term_cnts/board6")), "3");
  EXPECT_EQ(std::distance(fs::directory_iterator(mon("term_cnts")), fs::directory_iterator()), 3);
  std::string kept;
  for (const LGCP::TermCounter& c : store.term_counters) kept += c.asValueNotation() + ";";
  EXPECT_EQ(store.term_counters.size(), 4u) << kept;

  store.ClearControllerFiles();
  EXPECT_FALSE(exists("board2"));
  EXPECT_TRUE(store.boards.empty());
  EXPECT_TRUE(exists("emphone0"));
  EXPECT_TRUE(exists("term_cnts/board5"));
}

TEST_F(StoreTest, ControllerStatusFoldersAndTheSelfLink) {
  MonitoringDataHolder store;
  const std::string self = self_dotted(store);
  LGCP::ControllerInfo info;
  info.get_host().set_iaddr(self);
  info.set_status(HSP::ControllerStatus::active);
  EXPECT_TRUE(store.setControllerStatus(info));
  EXPECT_EQ(read_file(mon("controller/" + self + "/status")), "2");
  char target[4096] = {};
  ASSERT_GT(::readlink(mon("controller/self").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), mon("controller/" + self));
  EXPECT_EQ(mode("controller"), 0755u);
  EXPECT_EQ(store.own_controller_status.asInt(), 2);

  std::remove(mon("controller/" + self + "/status").c_str());
  EXPECT_FALSE(store.setControllerStatus(info));
  EXPECT_FALSE(exists("controller/" + self + "/status")) << "an unchanged status is not written";

  LGCP::ControllerInfo other;
  other.get_host().set_iaddr("controller.example");
  other.set_status(HSP::ControllerStatus::standby);
  EXPECT_FALSE(store.setControllerStatus(other));
  EXPECT_EQ(read_file(mon("controller/0.0.0.0/status")), "3");
  EXPECT_EQ(store.controllers.size(), 2u);
}

TEST_F(StoreTest, SnmpSetValuesBecomeFilesOnlyUnderSafeNames) {
  MonitoringDataHolder store;
  MON::SnmpSetCommands commands;
  ASSERT_TRUE(commands.setFromValueNotation(
      "{ commands { { uniq 1, id name : { section \"S\", name \"N\", index 0 }, value \"V\" }, "
      "{ uniq 2, id oid : \"1.3.6.1\", value \"X\" }, "
      "{ uniq 3, id name : { section \"..\", name \"N\", index 0 }, value \"bad\" }, "
      "{ uniq 4, id name : { section \"S\", name \"a/b\", index 1 }, value \"bad\" } } }"));
  LogCapture logs;
  store.setSnmpCommands(commands);
  EXPECT_EQ(logs.err.take_lines().size(), 1u) << "the second refusal within the second is counted";
  EXPECT_EQ(read_file(mon("S/0/N")), "V");
  EXPECT_EQ(mode("S"), 0755u);
  EXPECT_EQ(mode("S/0"), 0755u);
  EXPECT_FALSE(exists("S/1"));
  EXPECT_FALSE(exists("N"));
  EXPECT_EQ(store.snmp_commands.get_commands().size(), 4u);

  MON::SnmpSetCommands again;
  ASSERT_TRUE(
      again.setFromValueNotation("{ commands { { uniq 9, id name : { section \"S\", name \"N\", "
                                 "index 0 }, value \"W\" } } }"));
  store.setSnmpCommands(again);
  EXPECT_EQ(read_file(mon("S/0/N")), "W");
  ASSERT_EQ(store.snmp_commands.get_commands().size(), 4u);
  EXPECT_EQ(std::string(store.snmp_commands.get_commands()[0].get_value()), "W");
  EXPECT_EQ(store.snmp_commands.get_commands()[0].get_uniq().getValue(), 1);
}

TEST_F(StoreTest, SnmpSetSectionsAndNamesThatMustNotBecomeFiles) {
  const char* const bad_name = "not a file name";
  const char* const store_file = "the section is a file of the store";
  const struct {
    std::string section;
    std::string name;
    const char* refusal;  // null when the value is written
  } cases[] = {
      {"S", "v.tmp", nullptr},
      {"S", "v", nullptr},
      {"S", std::string(255, 'n'), nullptr},
      {std::string(255, 's'), "n", nullptr},
      {"boardTable", "N", nullptr},
      {"board3x", "N", nullptr},
      {"emphone", "N", nullptr},
      {"../x", "N", bad_name},
      {"S", std::string(256, 'n'), bad_name},
      {"S", "caf\xc3\xa9 ~", nullptr},
      {"S", ".mon", nullptr},
      {"S", "a.mon-123456", nullptr},
      {"S", "a\nb", bad_name},
      {"S", "\x1b[2J", bad_name},
      {"S\x7f", "N", bad_name},
      {"S\t", "N", bad_name},
      {"S", ".mon-a1B2c3", bad_name},
      {".mon-XXXXXX", "N", bad_name},
      {"board3", "N", store_file},
      {"board-1", "N", store_file},
      {"emphone12", "N", store_file},
      {"dip", "N", store_file},
      {"powerstatus", "N", store_file},
      {"config_version", "N", store_file},
      {"term_cnts", "N", store_file},
      {"controller", "N", store_file},
  };
  MonitoringDataHolder store;
  LogCapture logs;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    Mux::TestClock::advance_ms(1000);  // past the interval of the line of the case before
    MON::SnmpSetCommands commands;
    commands.get_commands().resize(1);
    MON::SnmpSetCommand& command = commands.get_commands()[0];
    command.set_uniq(int32_t(i));
    MON::IniName& id = command.get_id().select_name();
    id.set_section(c.section);
    id.set_name(c.name);
    id.set_index(0);
    command.set_value("value" + std::to_string(i));
    store.setSnmpCommands(commands);

    const std::string file = c.section + "/0/" + c.name;
    const Lines lines = logs.err.take_lines();
    if (!c.refusal) {
      EXPECT_EQ(read_file(mon(file)), "value" + std::to_string(i)) << i;
      EXPECT_EQ(lines, Lines{}) << i;
      continue;
    }
    EXPECT_FALSE(exists(file)) << i;
    ASSERT_EQ(lines.size(), 1u) << i;
    EXPECT_EQ(lines[0].substr(lines[0].rfind(": ") + 2), c.refusal) << i;
  }
  EXPECT_EQ(logs.err.take(), "");
  EXPECT_EQ(read_file(mon("S/0/v.tmp")), "value0") << "a name and its name plus .tmp coexist";
  EXPECT_EQ(store.snmp_commands.get_commands().size(), std::size(cases));

  // The store's own files are still written where sections were refused.
  EXPECT_TRUE(store.setDipValue(3));
  LGCP::DisplayParams board;
  ASSERT_TRUE(board.setFromValueNotation(
      "board : boardStatus : { position 3, version '31'H, status ready, type fxs }"));
  store.setDisplayStatus(board);
  EXPECT_EQ(read_file(mon("dip")), "3");
  EXPECT_EQ(read_file(mon("board3")), "3\n1\n2\n");
  EXPECT_EQ(logs.log.take(), "");

  // The refusal line quotes each text once.
  Mux::TestClock::advance_ms(1000);
  MON::SnmpSetCommands bad;
  ASSERT_TRUE(bad.setFromValueNotation("{ commands { { uniq 1, id name : { section \"../x\", "
                                       "name \"N\", index 0 }, value \"V\" } } }"));
  store.setSnmpCommands(bad);
  EXPECT_EQ(logs.err.take_lines(),
            Lines{"monitoring: SNMP set value of section \"../x\" name \"N\" kept, not written: "
                  "not a file name"});

  // A name that would drive a terminal reaches the log escaped.
  Mux::TestClock::advance_ms(1000);
  bad.get_commands()[0].get_id().get_name().set_section("\x1b]0;\"\\\x07");
  store.setSnmpCommands(bad);
  EXPECT_EQ(logs.err.take_lines(),
            Lines{"monitoring: SNMP set value of section \"\\x1b]0;\\\"\\\\\\x07\" name "
                  "\"N\" kept, not written: not a file name"});
}

// The controller can repeat a refused value at any rate: one line a second, with the count of
// those left out, and a failed write in the middle of a flood still has its line.
TEST_F(StoreTest, RefusedValuesAreLoggedOnceASecond) {
  MonitoringDataHolder store;
  MON::SnmpSetCommands bad;
  ASSERT_TRUE(bad.setFromValueNotation("{ commands { { uniq 1, id name : { section \"dip\", "
                                       "name \"N\", index 0 }, value \"V\" } } }"));
  const std::string refused =
      "monitoring: SNMP set value of section \"dip\" name \"N\" kept, not written: the section "
      "is a file of the store";
  LogCapture logs;
  for (int i = 0; i < 10; ++i) {
    store.setSnmpCommands(bad);
    if (i == 5) {
      fs::create_directories(mon("powerstatus/inside"));
      store.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::main));
    }
  }
  EXPECT_EQ(logs.err.take_lines(), Lines{refused});
  EXPECT_EQ(logs.log.take_lines(),
            Lines{"FAIL write monitoring file <" + mon("powerstatus") + "> with code=21"});
  Mux::TestClock::advance_ms(1000);
  store.setSnmpCommands(bad);
  EXPECT_EQ(logs.err.take_lines(), Lines{refused + " (9 similar lines left out)"});
  // The controller leaves: the count still owed follows, once.
  for (int i = 0; i < 3; ++i) store.setSnmpCommands(bad);
  store.FlushLogs();
  store.FlushLogs();
  EXPECT_EQ(logs.err.take_lines(),
            Lines{"monitoring: SNMP set value kept, not written (2 similar lines left out)"});
}

// A folder on the way swapped for a link out of the root after its check: the store's file, its
// temporary and the self link go nowhere, and the failure is logged.
TEST_F(StoreTest, AFolderSwappedForALinkAfterItsCheckTakesNothingOutOfTheRoot) {
  const std::string outside = root.path() + "-outside";
  const struct {
    const char* name;
    const char* folder;  // under var/monitoring, swapped for the link
    int at_check;
    std::function<void(MonitoringDataHolder&)> act;
    std::string line;
  } cases[] = {
      {"a file", "", 1, [](MonitoringDataHolder& store) { store.setDipValue(3); },
       "FAIL create temporary file <" + mon("dip") + "> with code=18"},
      // The store's start leaves no empty folder: "controller" and the address's folder are
      // made at the first two folders opened, the link at the third.
      {"the self link", "controller", 3,
       [](MonitoringDataHolder& store) {
         LGCP::ControllerInfo info;
         info.get_host().set_iaddr("127.0.0.1");
         info.set_status(HSP::ControllerStatus::active);
         store.self_address.Assign("127.0.0.1");
         store.setControllerStatus(info);
       },
       "FAIL create symlink to monitoring catalog <" + mon("controller/127.0.0.1") +
           "> with code=18"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(mon(c.folder));
    fs::create_directories(outside);
    MonitoringDataHolder store;
    LogCapture logs;
    std::string folder;
    {
      FolderSwap swap(mon(c.folder), outside, c.at_check);
      folder = swap.folder();
      c.act(store);
    }
    EXPECT_TRUE(fs::is_symlink(folder));
    EXPECT_EQ(names_in(outside), std::vector<std::string>{});
    const Lines lines = logs.log.take_lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end())
        << testing::PrintToString(lines);
    fs::remove(folder);
    fs::rename(folder + "-was", folder);
    fs::remove_all(outside);
  }
}

TEST_F(StoreTest, FilesAreReplacedWholeAndFailuresLeaveNothingBehind) {
  struct Umask {
    mode_t old = ::umask(027);
    ~Umask() { ::umask(old); }
  } umask;
  const size_t descriptors = open_descriptors();
  {
    MonitoringDataHolder store;
    ASSERT_TRUE(store.setDipValue(1));
    const int reader = ::open(mon("dip").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    // A reader that opened the file before the write still reads the whole old content.
    ASSERT_TRUE(store.setDipValue(22));
    char seen[8] = {};
    EXPECT_EQ(::pread(reader, seen, sizeof seen, 0), 1);
    EXPECT_EQ(std::string(seen), "1");
    ::close(reader);
    EXPECT_EQ(read_file(mon("dip")), "22");
    EXPECT_EQ(mode("dip"), 0640u) << "the mode fopen gives under the umask";

    // A rename that fails (the target is a folder) removes the temporary file.
    LogCapture logs;
    fs::create_directories(mon("powerstatus/inside"));
    EXPECT_TRUE(store.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::main)));
    EXPECT_EQ(logs.log.take_lines(),
              Lines{"FAIL write monitoring file <" + mon("powerstatus") + "> with code=21"});
    for (const auto& entry : fs::directory_iterator(mon("")))
      EXPECT_NE(entry.path().filename().string().compare(0, 5, ".mon-"), 0) << entry.path();

    fs::remove_all(mon(""));
    EXPECT_TRUE(store.setDipValue(5));
    EXPECT_EQ(logs.log.take_lines(),
              Lines{"FAIL create temporary file <" + mon("dip") + "> with code=2"});
    // Rows are kept, and forgotten, whether or not their files can be written.
    LGCP::DisplayParams board;
    ASSERT_TRUE(board.setFromValueNotation(
        "board : boardStatus : { position 4, version '31'H, status ready, type fxs }"));
    store.setDisplayStatus(board);
    EXPECT_EQ(store.boards.size(), 1u);
    store.ClearControllerFiles();
    EXPECT_TRUE(store.boards.empty());
  }
  EXPECT_EQ(open_descriptors(), descriptors);
}

}  // namespace
