#include "proto/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

class Layer : public Protocol {
 public:
  Layer(Log& log, std::string id) : log_(log), id_(std::move(id)) {}

  void local_deactivate() override {
    log_.push_back(id_ + " down");
    Protocol::local_deactivate();
  }

 private:
  Log& log_;
  std::string id_;
};

class Stack : public ProtocolsFamily {
 public:
  explicit Stack(Log& log) : log_(log) {}
  void on_activated(Protocol* p) override { log_.push_back("activated by " + id(p)); }
  void on_deactivated(Protocol* p, Protocol_status s) override {
    log_.push_back("deactivated by " + id(p) + ": " + s->message() +
                   (s->success() ? " (ok)" : " (failed)"));
  }
  void on_status(Protocol_status s) override { log_.push_back("status " + s->message()); }

  std::string id(Protocol* p) const {
    return p == bottom() ? "bottom" : "top";
  }

 private:
  Log& log_;
};

struct TwoLayers {
  Log log;
  Stack stack{log};
  Layer* bottom = new Layer(log, "B");
  Layer* top = new Layer(log, "T");
  TwoLayers() {
    stack.add_protocol_tail(bottom);
    stack.add_protocol_tail(top);
  }
};

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
}

}  // namespace
