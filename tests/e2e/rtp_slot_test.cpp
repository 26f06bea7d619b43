// An RTP slot on orvexd and the simulated board: the controller creates it and a trunk slot,
// connects them both ways, gets the packet detector's event as a signal and destroys the slot;
// a UDP socket on loopback receives the slot's RTCP SDES and BYE.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/lgcp_test.h"
#include "tests/e2e/daemon_on_board.h"

namespace {

class RtpSlot : public DaemonOnBoard {};

TEST_F(RtpSlot, CreateConnectReportAndDestroy) {
  const Fd rtcp = udp_loopback(0);
  EXPECT_EQ(create_rtp(rtcp, ", ssrc 3735928559"), wire(success(1, 1)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 1, pdu signal : transmitter : active : 512 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 1, pdu signal : receiver : active : 512 }"));
  unsigned short from = 0;
  const std::string sdes = receive_datagram(rtcp, wait_ms, &from);
  EXPECT_EQ(sdes.substr(0, 8), std::string("\x81\xCA\x00\x10\xDE\xAD\xBE\xEF", 8));
  EXPECT_EQ(sdes.substr(8, 19), std::string("\x01\x11Marbrook Sarvello"));
  EXPECT_EQ(std::to_string(from), std::to_string(rtp_port_ + 1));

  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 3 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : connect : 2 }"), wire(success(3, 1)));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : connect : 1 }"), wire(success(4, 2)));
  EXPECT_EQ(output(3), "512");
  EXPECT_EQ(output(512), "3");
  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : ioctl : pd-enable : { timeout 250 } }"),
            wire(success(5, 1)));
  EXPECT_EQ(board_.command("rtp sessions").at(0).substr(0, 4), "512 ");
  EXPECT_NE(board_.command("rtp sessions").at(0).find(" input=on pd=on"), std::string::npos);

  EXPECT_EQ(board_.command("rtp event 512 1 4 250"), std::vector<std::string>{"ok"});
  EXPECT_EQ(signal("rtp"), wire("{ slot 1, pdu signal : rtp : pd : { value 4, timeout 250 } }"));

  EXPECT_EQ(answer("{ seq 6, slot 1, pdu command : destroy : NULL }"), wire(success(6, 1)));
  EXPECT_EQ(receive_datagram(rtcp, wait_ms),
            std::string("\x81\xCB\x00\x04\xDE\xAD\xBE\xEF\x0Bsession end", 20));
  EXPECT_EQ(board_.command("sessions rtp"), std::vector<std::string>{"0"});
  EXPECT_EQ(output(512), "off");
  EXPECT_EQ(output(3), "const 0xd5");
}

}  // namespace
