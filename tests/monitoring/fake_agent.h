// FakeAgent: an SNMP agent process played on loopback inside the test's event loop. It listens
// on a port of its own (Control::AcceptorNet), decodes every MON frame with the project's codec
// into a short text and answers pings unless told to keep silent.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include <sys/socket.h>

#include "asn1/coder_env.h"
#include "asn1/modules/mon.h"
#include "base/fd.h"
#include "proto/acceptor_net.h"
#include "tests/support/loop_turns.h"
#include "tools/orvex-ctl/lib/hex.h"

// "set 1:gatewayCommon.powerStatus[0]=2 2:...", "trapsink a b", "ping", "response", or
// "undecodable".
inline std::string summary(const MON::Message& m) {
  if (!m.get_pdu().is_command()) return "response";
  const MON::Command& c = m.get_pdu().get_command();
  std::string text;
  if (c.is_snmp_set()) {
    text = "set";
    for (const MON::SnmpSetCommand& s : c.get_snmp_set().get_commands()) {
      text += " " + std::to_string(s.get_uniq().getValue()) + ":";
      if (s.get_id().is_name()) {
        const MON::IniName& n = s.get_id().get_name();
        text += n.get_section() + "." + n.get_name() + "[" +
                std::to_string(n.get_index().getValue()) + "]";
      } else {
        text += s.get_id().get_oid();
      }
      text += "=" + std::string(s.get_value());
    }
  } else if (c.is_snmp_trapsink_set()) {
    text = "trapsink";
    for (const MON::SnmpTrapsink& t : c.get_snmp_trapsink_set().get_trapsinks())
      text += " " + std::string(t.get_host()) + (t.has_port() ? ":port" : "");
  } else if (c.is_ping()) {
    text = "ping";
  }
  return text;
}

class FakeAgent : public Control::Notify {
 public:
  FakeAgent() : acceptor_(0, false) {
    acceptor_.Bind(this);
    acceptor_.Activate();
  }
  ~FakeAgent() override { acceptor_.Deactivate(); }

  unsigned short port() const { return acceptor_.local_port(); }
  bool connected() const { return acceptor_.state() == Control::Service::State::Connected; }
  void drop() { acceptor_.Disconnect(); }

  void OnConnect() override { ++connects; }
  void OnDisconnect() override { ++disconnects; }
  void OnMessage(const char* data, int length) override {
    payloads.push_back(Ctl::to_hex(std::vector<char>(data, data + length)));
    MON::Message m;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    if (!ASN1::decode(data, data + length, &env, m)) {
      frames.push_back("undecodable");
      return;
    }
    frames.push_back(summary(m));
    if (!answer_pings || frames.back() != "ping") return;
    MON::Message pong;
    pong.setFromValueNotation("{ pdu response : ping : success : NULL }");
    std::vector<char> bytes;
    ASN1::encode(pong, &env, std::back_inserter(bytes));
    acceptor_.Send(bytes.data(), int(bytes.size()));
  }
  void send_raw(const std::string& bytes) { acceptor_.Send(bytes.data(), int(bytes.size())); }
  std::vector<std::string> take() {
    std::vector<std::string> out;
    out.swap(frames);
    return out;
  }

  std::vector<std::string> frames;
  std::vector<std::string> payloads;
  bool answer_pings = true;
  int connects = 0;
  int disconnects = 0;

 private:
  Control::AcceptorNet acceptor_;
};

// An agent on the accepted socket of a link that reads only when told to, what has arrived or
// `most` bytes of it: it decodes the whole frames read into `frames`, and answers pings if told.
class ReadingAgent {
 public:
  explicit ReadingAgent(Fd socket) : socket_(std::move(socket)) {}

  void read(size_t most = SIZE_MAX) {
    char buf[65536];
    for (ssize_t n; most > 0 &&
                    (n = ::recv(socket_.get(), buf, std::min(sizeof buf, most), MSG_DONTWAIT)) > 0;
         most -= size_t(n))
      in_.append(buf, size_t(n));
    while (in_.size() >= 4) {
      const size_t size = size_t(uint8_t(in_[2])) << 8 | uint8_t(in_[3]);
      if (in_.size() < size) break;
      MON::Message m;
      ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
      const bool ok = in_[0] == 3 && size >= 4 &&
                      ASN1::decode(in_.data() + 4, in_.data() + size, &env, m);
      frames.push_back(ok ? summary(m) : "undecodable");
      in_.erase(0, std::max<size_t>(size, 4));
      // A TPKT frame of "response : ping : success".
      if (answer_pings && frames.back() == "ping") ::send(socket_.get(), "\3\0\0\5\x58", 5, 0);
    }
  }

  std::vector<std::string> frames;
  bool answer_pings = false;

 private:
  Fd socket_;
  std::string in_;
};
