// A modem slot on orvexd and the simulated board, with orvex-stub as its pppd acting as the
// authentication program: the request reaches the controller through the relay as
// modemProceeding, the controller's activation reaches the program as the accept and IP records.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/loopback.h"
#include "tests/support/own_network.h"
#include "tests/support/processes.h"
#include "tests/support/temp_root.h"

namespace {

// Where the daemon's authentication relay listens, and where pppd's program connects.
constexpr unsigned short kRelayPort = 52000;

class ModemRelay : public DaemonOnBoard {
 protected:
  // The relay's port is fixed: another daemon on the machine that holds it would take the
  // authentication program's requests.
  void SetUp() override {
    const std::string conflict = fixed_port_conflict(kRelayPort);
    if (!conflict.empty()) GTEST_SKIP() << conflict;
    DaemonOnBoard::SetUp();
  }
  // orvex-stub at `program` under the root.
  std::string install(const std::string& program) {
    const std::string path = board_.root() + program;
    EXPECT_EQ(std::system(("mkdir -p $(dirname " + path + ")").c_str()), 0);
    EXPECT_EQ(::symlink(ORVEX_STUB, path.c_str()), 0);
    return path;
  }
  // Slot 1, a DSP modem whose pppd (a stub that waits) runs on modem 0, session 0, heard
  // through trunk slot 2.
  void dsp_modem_call() {
    const std::string pppd = install("/usr/local/sbin/pppd");
    ASSERT_EQ(answer("{ seq 1, slot 1, pdu command : create : modem : { cid \"\", cdid \"\" } }"),
              wire(success(1, 1)));
    ASSERT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }"),
              wire(success(2, 2)));
    ASSERT_EQ(answer("{ seq 3, slot 2, pdu command : connect : 1 }"), wire(success(3, 2)));
    ASSERT_TRUE(wait_file(pppd + ".argv", true, wait_ms));
  }
  long watchdog_now() { return std::stol(board_.command("watchdog").back()); }
};

std::string be32(uint32_t v) {
  const uint32_t n = htonl(v);
  return std::string(reinterpret_cast<const char*>(&n), 4);
}

// A local program that writes `records` to the relay over and over, as fast as the daemon takes
// them, for `ms` milliseconds.
class RelayFlood {
 public:
  RelayFlood(const std::string& records, int ms)
      : thread_([this, records, ms] { run(records, ms); }) {}
  ~RelayFlood() { thread_.join(); }
  size_t sent() const { return sent_; }

 private:
  void run(const std::string& records, int ms) {
    const Fd fd = connect_loopback(kRelayPort);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    size_t at = 0;
    while (fd && std::chrono::steady_clock::now() < end) {
      pollfd p{fd.get(), POLLOUT, 0};
      if (::poll(&p, 1, 50) != 1) continue;
      const ssize_t n = ::send(fd.get(), records.data() + at, records.size() - at,
                               MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) break;
      at = (at + static_cast<size_t>(n)) % records.size();
      sent_ += static_cast<size_t>(n);
    }
  }

  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

// `count` copies of one record.
std::string times(const std::string& record, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += record;
  return out;
}

TEST_F(ModemRelay, PppdAuthenticatesThroughTheController) {
  const std::string pppd = board_.root() + "/usr/local/sbin/pppd";
  ASSERT_EQ(std::system(("mkdir -p " + board_.root() + "/usr/local/sbin").c_str()), 0);
  ASSERT_EQ(::symlink(ORVEX_STUB, pppd.c_str()), 0);
  std::ofstream(pppd + ".auth") << "0 alice secret";

  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : modem : { cid \"\", cdid \"\" } }"),
            wire(success(1, 1)));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(answer("{ seq 3, slot 2, pdu command : connect : 1 }"), wire(success(3, 2)));
  EXPECT_EQ(output(1536), "1");
  EXPECT_EQ(signal("modemProceeding"),
            wire("{ slot 1, pdu signal : modemProceeding : auth : { username \"alice\", password "
                 "\"secret\" } }"));
  EXPECT_EQ(answer("{ seq 4, slot 1, pdu command : activate : modem : { remoteAddr "
                   "\"127.0.0.7\", netmask \"255.255.255.255\", gateway \"127.0.0.1\", dns "
                   "\"127.0.0.53\", mtu 1400 } }"),
            wire(success(4, 1)));
  std::string replies;
  for (int i = 0; i < wait_ms / 10 && replies.empty(); ++i) {
    replies = read_file(pppd + ".replies");
    if (replies.empty()) usleep(10000);
  }
  EXPECT_EQ(replies,
            "00000010000000020000000000000001\n"
            "000000240000000300000000000000007f000007ffffffff7f0000017f00003500000578\n");
  // pppd ends at the hang-up; then the destroy is answered.
  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : destroy : NULL }"), wire(success(5, 1)));
}

// The daemon's CPU time so far, in clock ticks (user and system).
long cpu_ticks(pid_t pid) {
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

// A crowd of idle local connections: the relay keeps a few, each new one taking the place of the
// oldest, so the daemon keeps descriptors for its slots (an RTP slot is still made) and does not
// spin.
TEST_F(ModemRelay, IdleConnectionCrowdLeavesTheDaemonServing) {
  constexpr size_t kCrowd = 1100;
  constexpr size_t kKept = 64;
  // One at a time, so that no connection waits for the backlog: each beyond the kept ones
  // closes the oldest before the next one comes.
  std::vector<Fd> crowd;
  size_t closed = 0;
  for (size_t i = 0; i < kCrowd; ++i) {
    crowd.push_back(connect_loopback(kRelayPort));
    ASSERT_TRUE(crowd.back()) << "connection " << i;
    if (i < kKept) continue;
    pollfd p{crowd[i - kKept].get(), POLLIN, 0};
    char byte;
    ASSERT_TRUE(::poll(&p, 1, wait_ms) == 1 && ::recv(p.fd, &byte, 1, 0) == 0)
        << "connection " << i - kKept << " is not closed";
    crowd[i - kKept].close();
    ++closed;
  }
  EXPECT_EQ(closed, kCrowd - kKept);

  const long before = cpu_ticks(daemon_.pid());
  usleep(500000);
  EXPECT_LT(cpu_ticks(daemon_.pid()) - before, sysconf(_SC_CLK_TCK) / 10) << "the daemon spins";
  const Fd rtcp = udp_loopback(0);
  EXPECT_EQ(create_rtp(rtcp, ""), wire(success(1, 1)));
}

// A local program that writes records without pause for 8 s: the loop goes on serving, so the
// controller is answered within a second, the watchdog is fed every second, and the records the
// slot only logs leave a few lines, not one each.
TEST_F(ModemRelay, RecordFloodLeavesTheLoopServing) {
  dsp_modem_call();
  const long from = watchdog_now();
  const size_t log_before = daemon_.output().size();
  // Accept records for modem 0's session and requests for a session nobody has.
  const std::string records =
      times(be32(16) + be32(2) + be32(0) + be32(1) + be32(140) + be32(1) + be32(7) +
                std::string(128, 'x'),
            64);
  size_t sent = 0;
  long slowest = 0;
  {
    RelayFlood flood(records, 8000);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(8000);
    while (std::chrono::steady_clock::now() < end) {
      const auto start = std::chrono::steady_clock::now();
      Ctl::Received r;
      ASSERT_TRUE(ctl_.command("ping : NULL", r, wait_ms)) << ctl_.error();
      slowest = std::max<long>(slowest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
      usleep(100000);
    }
    sent = flood.sent();
  }
  EXPECT_GT(sent, 1000000u) << "the flood was too slow to tell";
  EXPECT_LT(slowest, 1000) << "the controller waited for its answer";
  EXPECT_LE(longest_watchdog_gap(from), 1250u);
  EXPECT_LT(daemon_.output().size() - log_before, 16384u) << "a log line per record";
  EXPECT_EQ(answer("{ seq 9, slot 1, pdu command : destroy : NULL }"), wire(success(9, 1)));
}

// 5 s of accounting records for a live modem, the controller reading nothing for 3 s of them:
// the signals stay within the session's rate, so the daemon keeps the controller.
TEST_F(ModemRelay, AccountingFloodKeepsAPausedController) {
  dsp_modem_call();
  std::string accounting = be32(64) + be32(4) + be32(0) + std::string(12, '\0');
  for (uint32_t w : {0u, 1u, 0u, 2u, 0u, 3u, 0u, 4u, 5u, 0u}) accounting += be32(w);
  {
    RelayFlood flood(times(accounting, 64), 5000);
    usleep(1000000);
    usleep(3000000);  // the controller pauses
    Ctl::Received r;
    ASSERT_TRUE(ctl_.command("ping : NULL", r, wait_ms)) << ctl_.error();
  }
  usleep(200000);
  Ctl::Received r;
  ASSERT_TRUE(ctl_.command("ping : NULL", r, wait_ms)) << ctl_.error();
  EXPECT_FALSE(ctl_.lost());
  size_t signals = 0;
  for (const Ctl::Received& m : ctl_.kept()) signals += m.signal_name() == "modemProceeding";
  EXPECT_GE(signals, 10u);
  EXPECT_LE(signals, 70u) << "over 10 a second for 5 s";
  EXPECT_EQ(answer("{ seq 9, slot 1, pdu command : destroy : NULL }"), wire(success(9, 1)));
}

// Two digital calls at once, on hdlc0 and hdlc1, each with its own authentication program:
// each request is reported on its own slot, and each activation answers its own program.
TEST_F(ModemRelay, TwoDigitalCallsHaveSessionsOfTheirOwn) {
  const std::string pppd = install("/usr/local/sbin/pppd");
  std::ofstream(pppd + ".auth.hdlc0") << "-2 alice a";
  std::ofstream(pppd + ".auth.hdlc1") << "-3 bob b";
  board_.command("net hdlc 0 7");
  board_.command("net hdlc 1 8");
  Ctl::Received r;
  ASSERT_TRUE(ctl_.command("query : NULL", r, wait_ms)) << ctl_.error();
  for (int call : {1, 3}) {
    const std::string modem = std::to_string(call), trunk = std::to_string(call + 1);
    const std::string seq = std::to_string(call * 10);
    EXPECT_EQ(answer("{ seq " + seq + ", slot " + modem +
                     ", pdu command : create : modem : { cid \"\", cdid \"\", ddm { ddmV110 } } }"),
              wire(success(call * 10, call)));
    EXPECT_EQ(answer("{ seq " + seq + "1, slot " + trunk +
                     ", pdu command : create : trunk : { trunk 0, timeslot " + modem + " } }"),
              wire(success(call * 100 + 1, call + 1)));
    EXPECT_EQ(answer("{ seq " + seq + "2, slot " + trunk + ", pdu command : connect : " + modem +
                     " }"),
              wire(success(call * 100 + 2, call + 1)));
  }
  std::set<std::string> requests;
  for (int i = 0; i < 2; ++i) requests.insert(signal("modemProceeding"));
  EXPECT_EQ(requests,
            (std::set<std::string>{
                wire("{ slot 1, pdu signal : modemProceeding : auth : { username \"alice\", "
                     "password \"a\" } }"),
                wire("{ slot 3, pdu signal : modemProceeding : auth : { username \"bob\", "
                     "password \"b\" } }")}));
  for (int call : {1, 3}) {
    EXPECT_EQ(answer("{ seq 5, slot " + std::to_string(call) +
                     ", pdu command : activate : modem : { remoteAddr \"127.0.0." +
                     std::to_string(call) + "\", netmask \"255.255.255.255\", gateway "
                     "\"127.0.0.1\", dns \"127.0.0.53\", mtu 1400 } }"),
              wire(success(5, call)));
  }
  for (const auto& [device, session, remote] :
       {std::tuple{"hdlc0", "fffffffe", "7f000001"}, std::tuple{"hdlc1", "fffffffd", "7f000003"}}) {
    const std::string path = pppd + ".replies." + device;
    ASSERT_TRUE(wait_file(path, true, wait_ms)) << device;
    EXPECT_EQ(read_file(path), std::string("0000001000000002") + session + "00000001\n" +
                                   "0000002400000003" + session + "00000000" + remote +
                                   "ffffffff7f0000017f00003500000578\n")
        << device;
  }
  for (int slot : {1, 2, 3, 4}) {
    EXPECT_EQ(answer("{ seq 9, slot " + std::to_string(slot) + ", pdu command : destroy : NULL }"),
              wire(success(9, slot)));
  }
}

// Two fax calls in one second: two modems of the pool (each switched to its own line) and two
// receivers, each writing a file of its own.
TEST_F(ModemRelay, TwoFaxCallsInOneSecondTakeTwoModemsAndTwoFiles) {
  const std::string fax = install("/usr/local/bin/fax");
  for (int call : {1, 3}) {
    const std::string modem = std::to_string(call), trunk = std::to_string(call + 1);
    EXPECT_EQ(answer("{ seq 1, slot " + modem +
                     ", pdu command : create : modem : { cid \"\", cdid \"\", fax NULL } }"),
              wire(success(1, call)));
    EXPECT_EQ(answer("{ seq 2, slot " + trunk +
                     ", pdu command : create : trunk : { trunk 0, timeslot " + modem + " } }"),
              wire(success(2, call + 1)));
    EXPECT_EQ(answer("{ seq 3, slot " + trunk + ", pdu command : connect : " + modem + " }"),
              wire(success(3, call + 1)));
  }
  std::vector<pid_t> receivers;
  EXPECT_TRUE(wait_until([&] { return (receivers = running(fax)).size() == 2; }, wait_ms));
  std::set<std::string> modems, files;
  for (pid_t pid : receivers) {
    std::vector<std::string> args;
    std::istringstream in(read_file("/proc/" + std::to_string(pid) + "/cmdline"));
    for (std::string a; std::getline(in, a, '\0');) args.push_back(a);
    ASSERT_EQ(args.size(), 5u);
    modems.insert(args[2]);
    files.insert(args[4]);
  }
  EXPECT_EQ(modems, (std::set<std::string>{"0", "1"}));
  EXPECT_EQ(files.size(), 2u) << *files.begin();
  EXPECT_EQ(output(1536), "1");
  EXPECT_EQ(output(1537), "3");
  for (int slot : {1, 2, 3, 4}) {
    EXPECT_EQ(answer("{ seq 9, slot " + std::to_string(slot) + ", pdu command : destroy : NULL }"),
              wire(success(9, slot)));
  }
  EXPECT_TRUE(wait_until([&] { return running(fax).empty(); }, wait_ms));
}

}  // namespace
