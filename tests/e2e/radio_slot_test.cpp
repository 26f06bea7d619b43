// An ED-137 radio slot on orvexd and the simulated board: the controller creates it, the
// header-extension engine carries the creation's status out, a TX packet from the voice
// communication side comes back as an rtpExt signal, a controller command goes out as an RX
// packet and keys the source filter, which a codec change carries to the new engine session,
// and the destroy detaches and closes the engine session.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/lgcp_test.h"

namespace {

using Lines = std::vector<std::string>;

class RadioSlot : public DaemonOnBoard {
 protected:
  // What the daemon wrote on the header-extension session, once it holds `count` packets: the
  // daemon writes after it answered, so the test waits for it, bounded.
  Lines sent(size_t count) {
    Lines got;
    for (int i = 0; i < wait_ms / 10; ++i) {
      got = board_.command("rtpext sent 0");
      if (got.size() >= count) break;
      usleep(10000);
    }
    return got;
  }
};

TEST_F(RadioSlot, Ed137CreateSignalCommandAndDestroy) {
  const Fd rtcp = udp_loopback(0);
  EXPECT_EQ(create_rtp(rtcp, ", radio { status ed-137 : { header { ptt ptt-off, squ squ-on, "
                              "ptt-id 5, ptt-mute FALSE, ptt-summation FALSE, sct FALSE } } }"),
            wire(success(1, 1)));
  EXPECT_EQ(board_.command("rtpext session 0"),
            Lines{"open etype=0x0167 words=1,123,10,1 attached filter=off"});
  EXPECT_EQ(sent(1), Lines{"11400000"});

  EXPECT_EQ(board_.command("rtpext rx 0 77 127.0.0.5 22400000"), Lines{"ok"});
  Ctl::Received r;
  ASSERT_TRUE(ctl_.wait_for("rtpExt", r, wait_ms)) << ctl_.error();
  const std::string text = r.text();
  EXPECT_NE(text.find("session-addr \"127.0.0.5\""), std::string::npos) << text;
  EXPECT_NE(text.find("ptt-id 9"), std::string::npos) << text;

  EXPECT_EQ(answer("{ seq 2, slot 1, pdu command : ioctl : rtpExt : ed-137 : { addr { "
                   "session-addr \"127.0.0.5\", session-ssrc 77 }, params rx : { header { ptt "
                   "normal-ptt-on, squ squ-on, ptt-id 9, ptt-mute FALSE, ptt-summation FALSE, "
                   "sct FALSE } } } }"),
            wire(success(2, 1)));
  EXPECT_EQ(sent(2), (Lines{"11400000", "32400000"}));
  EXPECT_EQ(board_.command("rtpext session 0"),
            Lines{"open etype=0x0167 words=1,123,10,1 attached filter=127.0.0.5"});

  // A codec change attaches a new session, which filters as the old one did.
  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : ioctl : encoder-mode : ulaw }"),
            wire(success(3, 1)));
  EXPECT_EQ(board_.command("rtpext session 0"),
            Lines{"closed etype=0x0167 words=1,123,10,1 detached filter=127.0.0.5"});
  EXPECT_EQ(board_.command("rtpext session 1"),
            Lines{"open etype=0x0167 words=1,123,10,1 attached filter=127.0.0.5"});

  EXPECT_EQ(answer("{ seq 4, slot 1, pdu command : destroy : NULL }"), wire(success(4, 1)));
  EXPECT_EQ(board_.command("rtpext session 1"),
            Lines{"closed etype=0x0167 words=1,123,10,1 detached filter=127.0.0.5"});
}

}  // namespace
