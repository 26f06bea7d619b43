#include "proto/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// A layer that records what reaches it and adds a header of `head` bytes.
class Layer : public Protocol {
 public:
  Layer(Log& log, std::string id, unsigned head = 0) : log_(log), id_(std::move(id)), head_(head) {}
  ~Layer() override { log_.push_back(id_ + " deleted"); }

  void local_prepare_head(Packet& p) override { p.reserve_head(head_); }
  void local_activate() override {
    log_.push_back(id_ + " up");
    Protocol::local_activate();
  }
  void local_deactivate() override {
    log_.push_back(id_ + " down");
    Protocol::local_deactivate();
  }
  void message(Packet& p) override {
    for (unsigned i = 0; i < head_; ++i) p.push8(static_cast<unsigned char>(id_[0]));
    transmit(p);
  }
  void receive(Packet& p) override {
    p.pull(head_);
    on_message(p);
  }
  Protocol_status local_initialize() override {
    log_.push_back(id_ + " init");
    if (fail_init) return make_status<Protocol_status_error>(this, id_ + " failed");
    return Protocol::local_initialize();
  }
  bool compare_name(const Protocol_name& n) const override { return name_.compare(n); }

  bool fail_init = false;

 private:
  Log& log_;
  std::string id_;
  unsigned head_;
  Protocol_name_str name_{id_.c_str()};
};

// The owner: records what comes out at both ends of the stack.
class Stack : public ProtocolsFamily {
 public:
  explicit Stack(Log& log) : log_(log) {}
  void transmit(Packet& p) override { log_.push_back("out " + p.text()); }
  void on_message(Packet& p) override { log_.push_back("in " + p.text()); }
  void on_activated(Protocol* p) override { log_.push_back("activated by " + id(p)); }
  void on_deactivated(Protocol* p, Protocol_status s) override {
    log_.push_back("deactivated by " + id(p) + ": " + s->message() +
                   (s->success() ? " (ok)" : " (failed)"));
  }
  void on_status(Protocol_status s) override { log_.push_back("status " + s->message()); }

  std::string id(Protocol* p) const {
    return p == bottom() ? "bottom" : p == top() ? "top" : "other";
  }

 private:
  Log& log_;
};

struct TwoLayers {
  Log log;
  Stack stack{log};
  Layer* bottom = new Layer(log, "B", 1);
  Layer* top = new Layer(log, "T", 2);
  TwoLayers() {
    stack.add_protocol_tail(bottom);
    stack.add_protocol_tail(top);
  }
};

TEST(Protocol, PacketsCrossTheStackBothWays) {
  TwoLayers s;
  Packet p;
  s.stack.prepare_head(p);
  EXPECT_EQ(p._headroom(), 3u);
  p.put8(0x41);
  s.stack.message(p);

  Packet in;
  in.reserve_head(0);
  for (unsigned char b : {0x01, 0x02, 0x03, 0x44}) in.put8(b);
  s.stack.receive(in);
  EXPECT_EQ(s.log, (Log{"out 42 54 54 41", "in 44"}));
}

TEST(Protocol, NestedFamilyContinuesInTheOuterStack) {
  Log log;
  Stack outer(log);
  auto* below = new Layer(log, "L", 1);
  auto* inner = new ProtocolsFamily;
  auto* above = new Layer(log, "U", 1);
  outer.add_protocol_tail(below);
  outer.add_protocol_tail(inner);
  outer.add_protocol_tail(above);
  inner->add_protocol_tail(new Layer(log, "X", 2));
  inner->add_protocol_tail(new Layer(log, "Y", 1));

  Packet p;
  above->prepare_head(p);
  EXPECT_EQ(p._headroom(), 5u);
  p.put8(0);
  above->message(p);

  Packet in;
  in.reserve_head(0);
  in.put(std::string("LXXYU"));
  outer.receive(in);

  outer.activate();
  EXPECT_EQ(log, (Log{"out 4C 58 58 59 55 00", "in 55", "L up", "X up", "Y up", "U up",
                      "activated by top"}));
}

TEST(Protocol, DeactivationReportsReachTheOwner) {
  {
    TwoLayers s;
    s.bottom->on_deactivate(make_status<Protocol_status_error>(s.bottom, "read error: x"));
    EXPECT_EQ(s.log, (Log{"deactivated by top: read error: x (failed)"}));
  }
  {
    TwoLayers s;
    s.stack.deactivate();  // the top stops first, then the layers below it
    EXPECT_EQ(s.log, (Log{"T down", "B down", "deactivated by bottom: success (ok)"}));
  }
  {
    TwoLayers s;
    s.bottom->on_status(make_status<Protocol_status_success>(s.bottom, "note"));
    EXPECT_EQ(s.log, (Log{"status note"}));
  }
  {
    // An inner family's failure travels on up through its outer stack.
    Log log;
    Stack outer(log);
    auto* inner = new ProtocolsFamily;
    outer.add_protocol_tail(inner);
    outer.add_protocol_tail(new Layer(log, "U"));
    auto* x = new Layer(log, "X");
    inner->add_protocol_tail(x);
    x->on_deactivate(make_status<Protocol_status_error>(x, "lost"));
    EXPECT_EQ(log, (Log{"deactivated by top: lost (failed)"}));
  }
}

TEST(Protocol, InitializeRunsBottomUpAndStopsAtFirstFailure) {
  TwoLayers s;
  EXPECT_TRUE(s.stack.initialize()->success());
  s.bottom->fail_init = true;
  Protocol_status r = s.stack.initialize();
  EXPECT_FALSE(r->success());
  EXPECT_EQ(r->message(), "B failed");
  EXPECT_EQ(r->source(), s.bottom);
  EXPECT_EQ(s.log, (Log{"B init", "T init", "B init"}));
}

}  // namespace
