// Helpers shared by the proto tests.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/fd.h"
#include "proto/packet.h"
#include "proto/protocol.h"
#include "tests/support/transport_test.h"

inline Packet packet_of(const std::string& bytes, unsigned head = 0) {
  Packet p;
  p.reserve_head(head);
  if (!bytes.empty()) std::memcpy(p.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
  return p;
}

inline std::string bytes_of(const Packet& p) {
  if (p.is_null()) return "";
  const _Packet* b = p.get();
  return std::string(reinterpret_cast<const char*>(b->data), b->_length());
}

// The owner of a stack under test: records what leaves at the bottom, what arrives at the top and
// every report, as text.
class RecordingFamily : public ProtocolsFamily {
 public:
  std::vector<std::string> sent;
  std::vector<std::string> received;
  std::vector<std::string> reports;

  void transmit(Packet& p) override { sent.push_back(bytes_of(p)); }
  void on_message(Packet& p) override {
    received.push_back(bytes_of(p));
    if (on_frame) on_frame(p);
  }
  void on_activated(Protocol*) override { reports.push_back("activated"); }
  void on_deactivated(Protocol*, Protocol_status s) override {
    reports.push_back((s->success() ? "ok: " : "failed: ") + s->message());
    if (on_down) on_down();
  }
  void on_status(Protocol_status s) override { reports.push_back("status: " + s->message()); }

  std::function<void(Packet&)> on_frame;
  std::function<void()> on_down;
};
