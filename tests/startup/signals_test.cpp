#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "base/dpc.h"
#include "base/multiplexer.h"
#include "base/syslog_client.h"
#include "base/version.h"
#include "proto/packet.h"
#include "server/startup/signal_checks.h"
#include "server/startup/signals.h"
#include "server/startup/status_dump.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

std::string status_path(const TempRoot& root) { return root.path() + "/var/log/server-status"; }

TEST(StatusDump, RewrittenFromScratch) {
  TempRoot root;
  std::filesystem::create_directories(root.path() + "/var/log");
  std::ofstream(status_path(root)) << std::string(100000, 'x');
  // A packet buffer given back a second time while it is free, as a lost count would.
  const unsigned twice_before = packet_pool().released_twice();
  Packet packet;
  packet.reserve_head(0);
  _Packet* buffer = packet.get();
  packet.reset();
  pool_unpoison(buffer, sizeof *buffer);
  smart_pointer_give_back(buffer);
  ASSERT_EQ(packet_pool().released_twice(), twice_before + 1);
  ASSERT_TRUE(DumpStatus());
  const std::string text = read_file(status_path(root));
  EXPECT_EQ(text.find('x' + std::string(20, 'x')), std::string::npos);
  std::istringstream lines(text);
  std::string banner, version, drops, twice, first_measure;
  std::getline(lines, banner);
  std::getline(lines, version);
  std::getline(lines, drops);
  std::getline(lines, twice);
  std::getline(lines, first_measure);
  EXPECT_EQ(twice, "packet buffers given back twice : " + std::to_string(twice_before + 1));
  EXPECT_EQ(banner.rfind("server status information.", 0), 0u) << banner;
  std::ostringstream want;
  want << "version : " << Version::current;
  EXPECT_EQ(version, want.str());
  EXPECT_EQ(drops, "syslog drops : " + std::to_string(syslogManager.drops()));
  EXPECT_EQ(first_measure.rfind("dpc transition measurement", 0), 0u) << first_measure;
}

TEST(StatusDump, UnwritableFileIsReportedAndRetried) {
  TempRoot root;  // without var/log
  StreamCapture errors(std::cerr);
  Signals::doDumpStatus = 1;
  CheckDumpStatus();
  EXPECT_EQ(errors.take(), "dump status error: " + status_path(root) + ": " +
                               std::strerror(ENOENT) + "\n");
  EXPECT_EQ(Signals::doDumpStatus, 0);
  std::filesystem::create_directories(root.path() + "/var/log");
  Signals::doDumpStatus = 1;
  CheckDumpStatus();
  EXPECT_TRUE(std::filesystem::exists(status_path(root)));
  EXPECT_EQ(errors.take(), "");
}

// Signals raised before the loop runs are served by its first turn: the self-pipe makes that
// turn's poll return at once, the checks write the dump and the report line once each, and the
// stop that run() would otherwise forget ends the loop.
TEST(Signals, ServedByTheFirstTurnOfAnIdleLoop) {
  TempRoot root;
  std::filesystem::create_directories(root.path() + "/var/log");
  ASSERT_TRUE(Signals::Install());
  Dpc checks;
  checks.Bind(new DpcHandler1(CheckSignals));
  checks.Activate();
  StreamCapture log(std::clog);
  std::raise(SIGUSR2);
  std::raise(SIGHUP);
  std::raise(SIGHUP);
  std::raise(SIGTERM);
  multiplexer.run(false, true);
  EXPECT_TRUE(std::filesystem::exists(status_path(root)));
  const std::string text = log.take();
  const std::string line = "update hardware resources\n";
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_EQ(text.find(line), text.rfind(line)) << text;

  // SIGINT stops the loop the same way.
  std::raise(SIGINT);
  multiplexer.run(false, true);
  std::raise(SIGPIPE);
  Signals::Wake::instance().Deactivate();
}

}  // namespace
