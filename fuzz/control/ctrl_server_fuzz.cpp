// The control server's receive path on arbitrary frames: aligned PER decoding of LGCP::Message,
// the seq and slot checks, dispatch, and the encoding of every response and signal it causes.
#include <cstddef>
#include <cstdint>
#include <iostream>

#include "control/ctrl_server.h"
#include "control/heartbeat_ctl.h"
#include "fuzz/asn1/values_back.h"

namespace {

// Answers every command and reports it back as a signal.
class Reflector : public CtrlSrv::Service {
 public:
  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command& c) override {
    LGCP::Signal s;
    if (c.is_userData()) {
      s.select_userData() = c.get_userData();
    } else {
      s.select_activated();
    }
    SendSignal(s);
    if (c.is_destroy()) {
      delayedSuccess(GetSlot(), delayResponse());
    } else {
      Success();
    }
    return true;
  }
};

struct Setup {
  Setup() {
    // Without a connection every send is logged; the log is not what is fuzzed.
    std::cerr.rdbuf(nullptr);
    std::clog.rdbuf(nullptr);
    server.Bind(&heartbeat);
    server.Bind(&reflector);
  }
  CtrlSrv::Server server;
  HeartBeatCtl heartbeat;
  Reflector reflector;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  fuzz::ValuesBack values_back;
  setup.server.OnMessage(reinterpret_cast<const char*>(data), static_cast<int>(size));
  return 0;
}
