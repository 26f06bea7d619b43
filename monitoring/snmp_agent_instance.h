// SnmpAgentInstance: the link to one SNMP agent process, configured by one "snmpagent" section.
// It connects to the agent as a TCP client (Control::ConnectorNet, which retries and reconnects
// on its own timers) and sends it MON messages, one aligned-PER MON::Message per TPKT frame.
//
// Nothing the link writes waits on the agent: frames go through an SnmpAgentOutbox, which queues
// what the socket does not take at once up to a bound and drops (and counts) beyond it. A link
// that connects, or that has written all that waited after it dropped frames, is owed the whole
// state: it says so to the sink (OnSnmpAgentConnect), and the whole state goes to the links that
// are owed it (TakeWholeState).
//
// The agent is pinged every 5000 ms from the first frame sent, whatever else is sent, and is
// judged by its answers only: a send that finds a ping written whole more than 30000 ms ago with
// no frame received since drops the connection; every frame received, decodable or not, counts
// as the answer. So does a send that finds frames waiting while the socket has taken nothing for
// more than 30000 ms: the agent reads nothing, pings included. Frames sent while the agent is not
// connected are dropped.
//
// An agent can send bad frames at any rate: each kind of line they bring is throttled on its own
// (base/log_throttles.h), and the counts still owed are written when the connection ends.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "asn1/modules/mon.h"
#include "base/inet4_addr.h"
#include "base/ini_file.h"
#include "base/log_throttles.h"
#include "base/timer.h"
#include "monitoring/isnmp_agent_notify.h"
#include "monitoring/snmp_agent_outbox.h"
#include "proto/connector_net.h"

// The link's transport, which lends its connected socket to the outbox.
class SnmpAgentTransport : public Control::ConnectorNet {
 public:
  using Control::ConnectorNet::ConnectorNet;
  using Control::Service::socket;
};

class SnmpAgentInstance : public Control::Notify {
 public:
  // The address types, read from the key "name"; bit values of the items' masks.
  enum MonitoringAddressType : int { lemzgw = 1, tavo = 2, lemzgw_xj = 4 };
  enum State : int { kCreated = 0, kConfigured = 1, kConnected = 2, kLost = 3 };
  using Kind = SnmpAgentOutbox::Kind;

  static constexpr unsigned kPingMs = 5000;
  static constexpr int32_t kSilenceMs = 30000;

  SnmpAgentInstance();
  ~SnmpAgentInstance() override;
  SnmpAgentInstance(const SnmpAgentInstance&) = delete;
  SnmpAgentInstance& operator=(const SnmpAgentInstance&) = delete;

  // Reads "host" and "name" and starts connecting. A bad or incomplete configuration, a host
  // that is no dotted address, has no port, a port that is not all decimal digits or a port
  // beyond 65535 leaves the link without transport, never used (logged).
  void Activate(IniFile::SubSection& sub);
  // Sends `command` as the command PDU of one message.
  void Command(const MON::Command& command, Kind kind = SnmpAgentOutbox::kUpdate);
  void Send(const MON::Message& message, Kind kind = SnmpAgentOutbox::kUpdate);
  // `message` in aligned PER; false when it does not encode.
  static bool Encode(const MON::Message& message, std::vector<char>* bytes);
  // Sends one encoded MON::Message as one frame, or drops it (logged) when it is larger than a
  // frame carries or the agent has not read what waits.
  void SendFrame(const std::vector<char>& bytes, Kind kind = SnmpAgentOutbox::kUpdate);
  // Whether the agent is connected and owed the whole state; it is no longer owed it after.
  bool TakeWholeState();

  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int length) override;
  void OnMessage(const MON::Message& message);
  void OnResponse(const MON::Response&) {}
  void OnSignal(const MON::Signal&) {}

  void SetPingTimer();
  void OnPingTimer(Timer* timer);

  void set_sink(ISnmpAgentNotify* sink) { sink_ = sink; }
  int address_type() const { return address_type_; }
  const std::string& name() const { return name_; }
  int state() const { return state_; }
  bool has_transport() const { return transport_ != nullptr; }
  bool connected() const {
    return transport_ && transport_->state() == Control::Service::State::Connected;
  }
  const SnmpAgentOutbox& outbox() const { return outbox_; }

 private:
  // Whether `host` names an agent: a dotted address, a colon and a port of 0 to 65535 in decimal
  // digits only (else logged).
  bool read_host(const std::string& host, int* port);
  std::ostream& log(std::ostream& os) const;
  // Writes the log header, then `text`, on `os`, throttled per text.
  void throttled(std::ostream& os, const char* text);
  // Writes the counts the throttled lines still owe.
  void flush_logs();
  // The agent is owed the whole state.
  void owe_whole_state();
  // Drops the connection of an agent that has not answered a ping or reads nothing (logged).
  void check_alive();

  std::unique_ptr<SnmpAgentTransport> transport_;
  MonitoringAddressType address_type_ = MonitoringAddressType(0);
  std::string name_;
  std::string header_;
  INet4::Addr address_;
  int state_ = kCreated;
  uint32_t stamp_ = 0;
  // A ping written whole since the last frame received, and when the first of them was.
  bool asking_ = false;
  uint32_t asked_ = 0;
  bool whole_state_owed_ = false;
  Timer ping_timer_;
  ISnmpAgentNotify* sink_ = nullptr;
  LogThrottles logs_;
  SnmpAgentOutbox outbox_;
};
