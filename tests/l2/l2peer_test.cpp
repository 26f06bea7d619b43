// Black-box test of orvex-l2peer: two of them, a primary-rate user and network side, on two HDLC
// channels of the simulated board joined back to back, driven through their standard input and
// output; tshark then reads the simulator's capture of the link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/l2/l2_support.h"
#include "tools/simctl/board_sim.h"

namespace {

constexpr int kWaitMs = 10000;

// orvex-l2peer as a child on pipes, its standard error to `log`.
class L2Peer {
 public:
  L2Peer(const std::vector<std::string>& args, const std::string& log) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(in[0], 0);
      dup2(out[1], 1);
      const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(ORVEX_L2PEER_PROGRAM)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~L2Peer() {
    if (to_ >= 0) close(to_);
    if (from_ >= 0) close(from_);
    if (pid_ > 0 && finish() == -1) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void send(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(to_, text.data(), text.size()), ssize_t(text.size()));
  }
  // The next line of output; "(none)" when none came in time.
  std::string line() {
    size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
      pollfd p{from_, POLLIN, 0};
      char chunk[4096];
      ssize_t n;
      if (poll(&p, 1, kWaitMs) != 1 || (n = read(from_, chunk, sizeof chunk)) <= 0) return "(none)";
      buffer_.append(chunk, size_t(n));
    }
    std::string l = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return l;
  }
  // The channel number of the first line.
  std::string channel() {
    const std::string l = line();
    EXPECT_EQ(l.rfind("channel ", 0), 0u) << l;
    return l.substr(std::min<size_t>(8, l.size()));
  }
  // Closes the input and waits for the exit status; -1 when it did not end in time.
  int finish() {
    if (to_ >= 0) close(to_);
    to_ = -1;
    for (int i = 0; i < kWaitMs / 10; ++i, usleep(10000)) {
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  std::string buffer_;
};

// SETUP: call reference 0x0005, speech, B channel 1, called number 1234.
const std::string kSetup = "080200050504038090a31803a9838170058131323334";
// DISCONNECT of that call from the other side, cause 69.
const std::string kDisconnect = "0802800545080280c5";

TEST(L2Peer, TwoPeersMakeALinkOnTheSimulatedBoard) {
  BoardSim sim;
  ASSERT_TRUE(sim.ok());
  L2Peer a({"lapd", "pri", "user"}, sim.root() + "/a.log");
  L2Peer b({"lapd", "pri", "network"}, sim.root() + "/b.log");
  const std::string capture = sim.root() + "/link.pcapng";
  ASSERT_EQ(sim.command("mcc join " + a.channel() + " " + b.channel()),
            std::vector<std::string>{"ok"});
  ASSERT_EQ(sim.command("mcc capture " + capture), std::vector<std::string>{"ok"});

  a.send("up");
  EXPECT_EQ(a.line(), "up");
  EXPECT_EQ(b.line(), "up");
  a.send("tx " + kSetup);
  EXPECT_EQ(b.line(), "rx " + kSetup);
  b.send("tx " + kDisconnect);
  EXPECT_EQ(a.line(), "rx " + kDisconnect);
  a.send("info");
  const std::string info = a.line();
  EXPECT_NE(info.find("lapdState multiple-frame-established"), std::string::npos) << info;
  EXPECT_NE(info.find("msuTxCount 1, msuRxCount 1,"), std::string::npos) << info;
  a.send("down");
  EXPECT_EQ(a.line(), "down success (UA received)");
  EXPECT_EQ(b.line(), "down remote error (DISC received)");
  EXPECT_EQ(a.finish(), 0);
  EXPECT_EQ(b.finish(), 0);
  ASSERT_EQ(sim.command("mcc capture off"), std::vector<std::string>{"ok"});

  if (!have_tshark()) GTEST_SKIP() << "tshark is not installed";
  const std::vector<std::string> lines = tshark_fields(
      capture, "-e lapd.control -e q931.message_type -e q931.cause_value -e _ws.malformed");
  // Each frame twice, sent and received: SABME, UA, SETUP, DISCONNECT, two RRs, DISC, UA.
  EXPECT_EQ(lines.size(), 16u);
  int setups = 0, disconnects = 0;
  for (const std::string& l : lines) {
    EXPECT_EQ(l.find("alformed"), std::string::npos) << l;
    setups += l.find("|0x05|") != std::string::npos;
    disconnects += l.find("|0x45|69|") != std::string::npos;
  }
  EXPECT_EQ(setups, 2);
  EXPECT_EQ(disconnects, 2);
}

// Two pairs: SS7 links activated before their channels are joined (the simulator then hands
// each the other's last LSSU), and the basic-rate network side with a terminal.
TEST(L2Peer, Ss7AndBasicRateNetworkSidePairs) {
  BoardSim sim;
  ASSERT_TRUE(sim.ok());
  L2Peer a({"ss7", "emergency"}, sim.root() + "/a.log");
  L2Peer b({"ss7", "emergency"}, sim.root() + "/b.log");
  L2Peer n({"nt"}, sim.root() + "/n.log");
  L2Peer t({"lapd", "bri", "user"}, sim.root() + "/t.log");
  L2Peer* peers[4] = {&a, &b, &n, &t};
  std::string channel[4];
  for (int i = 0; i < 4; ++i) channel[i] = peers[i]->channel();
  const std::string capture = sim.root() + "/links.pcapng";
  const std::vector<std::string> ok{"ok"};
  ASSERT_EQ(sim.command("mcc capture " + capture), ok);
  a.send("up");
  b.send("up");
  a.send("info");
  EXPECT_EQ(a.line(), "info \"not aligned\" 0 0 0 0 0 0 0 0");
  ASSERT_EQ(sim.command("mcc join " + channel[0] + " " + channel[1]), ok);
  EXPECT_EQ(a.line(), "up");
  EXPECT_EQ(b.line(), "up");
  a.send("tx 8102400000110f");
  EXPECT_EQ(b.line(), "rx 8102400000110f");
  a.send("down");
  EXPECT_EQ(a.line(), "down impossible phasing");
  EXPECT_EQ(b.line(), "down impossible phasing");

  ASSERT_EQ(sim.command("mcc join " + channel[2] + " " + channel[3]), ok);
  n.send("up");
  EXPECT_EQ(n.line(), "up");
  t.send("up");
  EXPECT_EQ(t.line(), "up");
  // A SETUP with the one-octet call reference of basic rate, and the answer routed back by it.
  t.send("tx 0801050504038090a3");
  EXPECT_EQ(n.line(), "rx 0801050504038090a3");
  n.send("tx 08018545080280c5");
  EXPECT_EQ(t.line(), "rx 08018545080280c5");
  n.send("info");
  EXPECT_EQ(n.line().rfind("info LAPD_user(NT BRI)[Tei=64,", 0), 0u);
  for (L2Peer* p : peers) EXPECT_EQ(p->finish(), 0);
  ASSERT_EQ(sim.command("mcc capture off"), ok);

  if (!have_tshark()) GTEST_SKIP() << "tshark is not installed";
  // tshark's MTP2, LAPD, TEI management and Q.931 dissectors read every frame.
  std::string protocols;
  for (const std::string& l : tshark_fields(capture, "-e frame.protocols -e _ws.malformed")) {
    EXPECT_EQ(l.find("alformed"), std::string::npos) << l;
    protocols += l + "\n";
  }
  for (const char* p : {"mtp2:mtp3", "lapd:tei_management", "lapd:q931"})
    EXPECT_NE(protocols.find(p), std::string::npos) << p << "\n" << protocols;
}

}  // namespace
