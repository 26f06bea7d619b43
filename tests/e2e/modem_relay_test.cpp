// A modem slot on orvexd and the simulated board, with orvex-stub as its pppd acting as the
// authentication program: the request reaches the controller through the relay as
// modemProceeding, the controller's activation reaches the program as the accept and IP records.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "tests/e2e/daemon_on_board.h"
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

}  // namespace
