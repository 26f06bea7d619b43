// Two LAPD links back to back on the link test kit's wire, each under a layer-3 owner that writes
// what reaches it to the event list and, as a note, to the wire's trace. Time moves only by the
// test clock.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "l2/isdn/lapd.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"
#include "tests/support/golden.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/loop_test.h"

class Layer3 : public ProtocolsList, public ISDN::LAPD::Notify {
 public:
  // Events go to `events` and, when `wire` is given, to its trace.
  Layer3(const std::string& name, ISDN::Side::type side, HdlcWire::End& end,
         std::vector<std::string>* events, HdlcWire* wire = nullptr);

  void on_activated(Protocol*) override { note("up"); }
  void on_deactivated(Protocol*, Protocol_status status) override;
  void on_message(Packet& p) override;
  void on_status(Protocol_status status) override { note("status " + status->message()); }
  void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override;

  void send(const std::string& bytes) { send_octets(*lapd, bytes); }

  ISDN::LAPD* lapd;  // owned by this stack
  std::vector<std::string> received;
  // Called with each event once written; a test acts from inside the callback.
  std::function<void(const std::string&)> hook;

 private:
  void note(const std::string& what);

  std::string name_;
  std::vector<std::string>* events_;
  HdlcWire* wire_;
};

// "SABME pf=1 cr=0 tei=0", "I ns=0 nr=0 p=0 cr=0 tei=0 + 08 01", "RR nr=1 pf=0 cr=1 tei=0": the
// LAPD header of a frame and the octets after it.
std::string describe_frame(const std::string& frame);
std::string describe_frame(const Packet& frame);

class LapdTest : public LoopTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // New links on a new wire, as the test starts with.
  void relink();
  void settle();
  // Moves the clock and settles.
  void step(unsigned ms);
  // Brings the link up from A and forgets the events.
  void establish();
  // Sends `count` numbered messages from `from`.
  void send_numbered(Layer3& from, int count, int first = 0);
  // The layer-3 message numbered `i`: a header, then the number in two octets.
  static std::string numbered(int i);
  std::string trace() const;
  // The numbered messages `l` received, as their numbers.
  static std::vector<int> numbers(const Layer3& l);

  std::vector<std::string> events;
  // Made after the loop is checked and gone before it is checked again.
  std::unique_ptr<HdlcWire> wire;
  std::unique_ptr<Layer3> a;
  std::unique_ptr<Layer3> b;
};
