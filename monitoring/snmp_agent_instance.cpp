#include "monitoring/snmp_agent_instance.h"

#include <arpa/inet.h>

#include <iostream>
#include <iterator>

#include "asn1/coder_env.h"
#include "base/ini_file.h"
#include "base/ini_reader.h"
#include "base/mux_clock.h"

namespace {

const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> monitoringAddressTypes[] = {
    {"lemzgw", SnmpAgentInstance::lemzgw},
    {"lemzgw.xj", SnmpAgentInstance::lemzgw_xj},
    {"tavo", SnmpAgentInstance::tavo},
    {nullptr, SnmpAgentInstance::MonitoringAddressType(0)},
};

}  // namespace

SnmpAgentInstance::SnmpAgentInstance()
    : outbox_(
          [this] {
            throttled(std::cerr, ": write to the agent failed, disconnect");
            transport_->Disconnect();
          },
          // Frames were dropped: the agent has missed values, which it gets again with the
          // whole state, as when it connects.
          [this] { owe_whole_state(); },
          // A ping has reached the socket: the agent is asked from now on, unless an earlier
          // ping still waits for its answer.
          [this] {
            if (asking_) return;
            asking_ = true;
            asked_ = Mux::milliseconds();
          }) {}

SnmpAgentInstance::~SnmpAgentInstance() {
  flush_logs();
  ping_timer_.reset();
  if (transport_) {
    transport_->UnBind();
    transport_->Deactivate();
  }
}

std::ostream& SnmpAgentInstance::log(std::ostream& os) const { return os << header_; }

void SnmpAgentInstance::throttled(std::ostream& os, const char* text) {
  logs_.write(os, text, [&](std::ostream& line) { log(line) << text; });
}

void SnmpAgentInstance::flush_logs() {
  logs_.flush([this](std::ostream& os) { log(os); });
}

bool SnmpAgentInstance::read_host(const std::string& host, int* port) {
  const size_t colon = host.find(':');
  const char* fault = nullptr;
  if (!address_.Assign(host, port)) {
    fault = "is not a dotted address";
  } else if (colon == std::string::npos) {
    fault = "has no port";
  } else if (colon + 1 == host.size() ||
             host.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
    fault = "has a port that is not a decimal number";
  } else if (*port > 65535) {
    fault = "has a port beyond 65535";
  } else if (*port == 0) {
    fault = "has port 0";
  }
  if (fault)
    std::cerr << "snmpagent." << name_ << ": host " << IniFile::quoted(host) << " " << fault
              << ", no link" << std::endl;
  return !fault;
}

void SnmpAgentInstance::Activate(IniFile::SubSection& sub) {
  std::string host;
  IniFile::Reader reader("snmpagent: ", std::cerr);
  reader.required.add(&host, "host", 0);
  reader.required.add(&name_, "name", 0);
  reader.required.add(&address_type_, "name", monitoringAddressTypes);
  header_ = name_;
  if (!reader.parse(sub)) return;
  int port = -1;
  if (!read_host(host, &port)) return;

  state_ = kConfigured;
  transport_.reset(new SnmpAgentTransport(address_.dotted(), static_cast<unsigned short>(port)));
  header_ = "snmpagent." + name_ + " " + address_.GetString();
  transport_->service_name(header_);
  transport_->Bind(this);
  transport_->Activate();
}

void SnmpAgentInstance::Command(const MON::Command& command, Kind kind) {
  MON::Message message;
  message.get_pdu().select_command() = command;
  Send(message, kind);
}

bool SnmpAgentInstance::Encode(const MON::Message& message, std::vector<char>* bytes) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  return ASN1::encode(message, &env, std::back_inserter(*bytes));
}

void SnmpAgentInstance::Send(const MON::Message& message, Kind kind) {
  if (!connected()) return;
  std::vector<char> bytes;
  if (!Encode(message, &bytes)) {
    throttled(std::clog, ": encode MON message fail!!!");
    return;
  }
  SendFrame(bytes, kind);
}

void SnmpAgentInstance::SendFrame(const std::vector<char>& bytes, Kind kind) {
  if (!connected()) return;
  if (bytes.size() > size_t(Control::Service::max_message)) {
    logs_.write(std::cerr, ": message larger than a frame", [&](std::ostream& line) {
      log(line) << ": message larger than a frame, " << bytes.size() << " bytes, not sent";
    });
  } else if (!outbox_.Push(bytes.data(), bytes.size(), kind)) {
    logs_.write(std::cerr, ": agent does not read", [&](std::ostream& line) {
      log(line) << ": agent does not read, " << outbox_.queued() << " bytes wait: frame of "
                << bytes.size() << " bytes dropped, " << outbox_.dropped() << " in all";
    });
  }
  // Other frames do not put the ping off: an agent that answers pings is never left without one
  // to answer.
  if (!ping_timer_.get()) SetPingTimer();
  check_alive();
}

void SnmpAgentInstance::check_alive() {
  const uint32_t now = Mux::milliseconds();
  if (asking_ && int32_t(now - asked_) > kSilenceMs) {
    log(std::clog) << ": ping timeout !!! now=" << now << " stamp=" << stamp_ << std::endl;
  } else if (outbox_.stalled_ms(now) > kSilenceMs) {
    log(std::clog) << ": agent reads nothing, " << outbox_.queued() << " bytes wait for "
                   << outbox_.stalled_ms(now) << " ms, disconnect" << std::endl;
  } else {
    return;
  }
  transport_->Disconnect();
}

void SnmpAgentInstance::SetPingTimer() {
  ping_timer_.set(kPingMs, &SnmpAgentInstance::OnPingTimer, this);
}

void SnmpAgentInstance::OnPingTimer(Timer*) {
  MON::Command ping;
  ping.select_ping();
  Command(ping, SnmpAgentOutbox::kPing);
}

void SnmpAgentInstance::owe_whole_state() {
  whole_state_owed_ = true;
  if (sink_) sink_->OnSnmpAgentConnect(name_);
}

bool SnmpAgentInstance::TakeWholeState() {
  const bool owed = whole_state_owed_ && connected();
  whole_state_owed_ = false;
  return owed;
}

void SnmpAgentInstance::OnConnect() {
  state_ = kConnected;
  outbox_.Attach(transport_->socket());
  log(std::clog) << ": connected." << std::endl;
  stamp_ = Mux::milliseconds();
  asking_ = false;
  owe_whole_state();
}

void SnmpAgentInstance::OnDisconnect() {
  flush_logs();
  log(std::clog) << ": connection lost, reset snmpagent instance" << std::endl;
  ping_timer_.reset();
  outbox_.Detach();
  whole_state_owed_ = false;
  if (state_ == kConnected) state_ = kLost;
}

void SnmpAgentInstance::OnMessage(const char* data, int length) {
  stamp_ = Mux::milliseconds();
  asking_ = false;
  MON::Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (length < 0 || !ASN1::decode(data, data + length, &env, message)) {
    throttled(std::cerr, ": receive : decode error!");
    return;
  }
  OnMessage(message);
}

void SnmpAgentInstance::OnMessage(const MON::Message& message) {
  const MON::PDU& pdu = message.get_pdu();
  if (pdu.is_response()) {
    OnResponse(pdu.get_response());
  } else if (pdu.is_signal()) {
    OnSignal(pdu.get_signal());
  } else {
    throttled(std::cerr, ": receive unknown message type");
  }
}
