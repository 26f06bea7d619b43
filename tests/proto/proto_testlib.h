// Helpers shared by the proto tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

  std::function<void(Packet&)> on_frame;
  std::function<void()> on_down;
};

// A loopback listener that keeps up to 64 unaccepted peers.
class Listener {
 public:
  Listener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_.get(), 64);
    port_ = Control::LocalPort(fd_);
  }
  unsigned short port() const { return port_; }
  TcpPeer accept() const {
    return TcpPeer(Fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)));
  }
  void close() { fd_.close(); }

 private:
  Fd fd_;
  unsigned short port_ = 0;
};
