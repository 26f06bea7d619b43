// A modem slot on orvexd and the simulated board, with orvex-stub as its pppd acting as the
// authentication program: the request reaches the controller through the relay as
// modemProceeding, the controller's activation reaches the program as the accept and IP records.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/loopback.h"
#include "tests/support/own_network.h"
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
};

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

// A crowd of idle local connections: the relay keeps a few and closes the rest at once, so the
// daemon keeps descriptors for its slots (an RTP slot is still made) and does not spin.
TEST_F(ModemRelay, IdleConnectionCrowdLeavesTheDaemonServing) {
  constexpr size_t kCrowd = 1100;
  constexpr size_t kKept = 64;
  // One at a time, so that no connection waits for the backlog: each beyond the kept ones is
  // closed by the daemon before the next one comes.
  std::vector<Fd> crowd;
  size_t closed = 0;
  for (size_t i = 0; i < kCrowd; ++i) {
    crowd.push_back(connect_loopback(kRelayPort));
    ASSERT_TRUE(crowd.back()) << "connection " << i;
    if (i < kKept) continue;
    pollfd p{crowd.back().get(), POLLIN, 0};
    char byte;
    ASSERT_TRUE(::poll(&p, 1, wait_ms) == 1 && ::recv(p.fd, &byte, 1, 0) == 0)
        << "connection " << i << " is not closed";
    ++closed;
  }
  EXPECT_EQ(closed, kCrowd - kKept);

  const long before = cpu_ticks(daemon_.pid());
  usleep(500000);
  EXPECT_LT(cpu_ticks(daemon_.pid()) - before, sysconf(_SC_CLK_TCK) / 10) << "the daemon spins";
  const Fd rtcp = udp_loopback(0);
  EXPECT_EQ(create_rtp(rtcp, ""), wire(success(1, 1)));
}

}  // namespace
