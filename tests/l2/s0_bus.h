// An in-process S0 bus: the basic-rate network side (LAPD_NT) and up to eight terminals, each a
// user-side LAPD. Every frame the network side sends reaches all terminals, every terminal frame
// reaches the network side; pump() carries them, in order, until the bus is quiet.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_nt.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"

class S0Bus {
 public:
  struct Frame {
    int from;  // -1 the network side, else the terminal's index
    Packet bytes;
  };
  // A terminal: its LAPD's channel and its layer-3 owner.
  class Terminal : public GenericHDLC, public ProtocolsList {
   public:
    Terminal(S0Bus& bus, int index);
    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    void on_message(Packet& p) override { received.push_back(p.text()); }
    void send(std::initializer_list<unsigned char> o) { send_octets(*lapd, {o.begin(), o.end()}); }
    bool established() const { return lapd->full_state().state == 6; }

    ISDN::LAPD* lapd;
    std::vector<std::string> received;

   private:
    S0Bus& bus_;
    int index_;
  };
  // The exchange: the network side under a stack that keeps what it passes up.
  class Exchange : public ProtocolsList {
   public:
    explicit Exchange(S0Bus& bus);
    void transmit(Packet& p) override;
    void on_message(Packet& p) override { received.push_back(p.text()); }
    void send(std::initializer_list<unsigned char> o) { send_octets(*nt, {o.begin(), o.end()}); }

    ISDN::LAPD_NT* nt;
    std::vector<std::string> received;

   private:
    S0Bus& bus_;
  };

  explicit S0Bus(unsigned terminals);
  // Carries the frames until none is left; returns how many the network side sent.
  unsigned pump();

  Exchange exchange;
  std::vector<std::unique_ptr<Terminal>> terminals;
  // Whether a frame is lost on the way.
  std::function<bool(const Frame&)> lose;

 private:
  std::vector<Frame> queue_;
};
