// The RTP slot kinds' road: SlotRoad with the RTP factory in the chain, a UDP peer on loopback
// for the RTCP packets, and the creates of the tests in value notation. Shared by the tests of
// the plain and the radio RTP slots.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "slots/media/rtp_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"
#include "tests/support/board.h"
#include "tests/support/command_output.h"
#include "tests/support/loop_turns.h"
#include "tests/support/loopback.h"

// One datagram within a second in hex, and the port it came from.
inline std::string receive(const Fd& socket, unsigned short* from = nullptr) {
  return hex(receive_datagram(socket, 1000, from));
}

// Replaces every `from` in `text` by `to`.
inline std::string replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Value notation on one line: every run of blanks with a line break becomes one blank.
inline std::string flat(const std::string& text) {
  return std::regex_replace(text, std::regex("\\s*\\n\\s*"), " ");
}

class RtpSlots : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    LinkTrunkFactories();
    RtpFactory::instance();
  }
  void SetUp() override {
    SlotRoad::SetUp();
    // The controller listens for RTCP on peer_port + 1; the slot sends from local_port + 1.
    // Shared with the slot's own RTCP socket when the create gives no shost.
    rtcp_peer_ = udp_loopback(0, true);
    peer_port_ = static_cast<unsigned short>(local_port(rtcp_peer_) - 1);
    local_port_ = static_cast<unsigned short>(local_port(udp_loopback(0)) - 1);
  }
  void TearDown() override {
    SlotRoad::TearDown();
    EXPECT_EQ(board().command("sessions rtp"), Lines{"0"});
  }

  // Sends each command; every message that came back, in value notation on one line.
  Lines talk(const std::vector<std::string>& commands) {
    Lines got;
    for (const std::string& c : commands) {
      EXPECT_TRUE(ctl_.send(c)) << c << ": " << ctl_.error();
      for (const Ctl::Received& r : received()) got.push_back(flat(r.text()));
    }
    return got;
  }
  // Turns the loop until the controller has something, briefly.
  Lines pending() {
    Lines got;
    for (int i = 0; i < 5; ++i) run_loop_turn();
    Ctl::Received r;
    while (ctl_.receive(r, 0)) got.push_back(flat(r.text()));
    return got;
  }
  // The create of RTP slot `slot` with `codec` in codecRTP after payload and dhost, where
  // {P} and {L} stand for the peer's and the local RTP port.
  std::string create(int slot, const std::string& payload, const std::string& more = "",
                     const std::string& tx = "", const std::string& rx = "") {
    return ports("{ seq 1, slot " + std::to_string(slot) +
                 ", pdu command : create : rtp : { codecRTP { payload " + payload +
                 ", dhost { iaddr \"127.0.0.1\", port {P} }" + more + " }, txPayload " +
                 (tx.empty() ? payload : tx) + ", rxPayload " + (rx.empty() ? payload : rx) +
                 " } }");
  }
  std::string ports(const std::string& text) const {
    return replace(replace(text, "{P}", std::to_string(peer_port_)), "{L}",
                   std::to_string(local_port_));
  }
  // What a codec change of slot 1 answers as the engine refuses its session (`channel` -1) or
  // gives it on `channel`: the stream signals, then the reply.
  static Lines restarted(int seq, int channel) {
    const std::string s = "{ slot 1, pdu signal : ", on = " : active : " + std::to_string(channel);
    if (channel < 0)
      return {s + "receiver : inactive : NULL }", s + "transmitter : inactive : NULL }",
              reply(seq, 1, "error : insufficientResources")};
    return {s + "transmitter" + on + " }", s + "receiver" + on + " }",
            reply(seq, 1, "success : NULL")};
  }
  // Creates RTP slot 1 with shost; its channel.
  int create_slot(const std::string& payload = "ptG711-Alaw", const std::string& more = "") {
    Lines got = talk({create(1, payload, ", shost { iaddr \"127.0.0.1\", port {L} }" + more)});
    std::smatch m;
    if (got.size() != 3 || !std::regex_search(got[1], m, std::regex("active : ([0-9]+)"))) {
      ADD_FAILURE() << "create: " << testing::PrintToString(got);
      return -1;
    }
    return std::stoi(m[1]);
  }

  Fd rtcp_peer_;
  unsigned short peer_port_ = 0;
  unsigned short local_port_ = 0;
};
