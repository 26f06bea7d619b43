#include "proto/control_service.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>

#include "base/profile.h"
#include "proto/strm_protocol.h"
#include "proto/tpkt.h"

namespace Control {

static_assert(Service::max_message == int(Tpkt_protocol::max_payload),
              "a message is one TPKT payload");

const char* GetTextNotation(Service::State::Type state) {
  switch (state) {
    case Service::State::Idle: return "Idle";
    case Service::State::Connecting: return "Connecting";
    case Service::State::Deactivating: return "Deactivating";
    case Service::State::Connected: return "Connected";
  }
  return "Unknown";
}

Service::Service()
    : strm_(new StrmProtocol),
      ignored_log_(std::cerr, [this](std::ostream& os) {
        os << "Control::Service::Send() ignore Send request in " << GetTextNotation(state_)
           << " state.";
      }),
      refused_log_(std::cerr, [this](std::ostream& os) {
        os << "Control::Service::Send() refuse message of " << refused_length_
           << " bytes: at most " << max_message << " fit in a frame.";
      }) {
  add_protocol_tail(strm_);
  add_protocol_tail(new Tpkt_protocol);
  deactivate_dpc_.Bind(this, &Service::OnDeactivateDPC);
}

Service::~Service() {
  ignored_log_.flush();
  refused_log_.flush();
}

bool Service::Activate() {
  Deactivate();
  state_ = State::Connecting;
  active_ = true;
  if (ImplActivate()) return true;
  active_ = false;
  state_ = State::Idle;
  return false;
}

void Service::Deactivate() {
  ImplDeactivate();
  active_ = false;
  state_ = State::Idle;
}

void Service::Disconnect() {
  if (state_ == State::Deactivating) return;
  deactivate();
}

void Service::Send(const char* data, int length) {
  if (state_ != State::Connected) {
    if (state_ != State::Deactivating && log_) ignored_log_.report();
    return;
  }
  if (length < 0 || length > max_message) {
    refused_length_ = length;
    refused_log_.report();
    return;
  }
  static Profile::Point build("Control::Service::Send [1]");
  static Profile::Point pass("Control::Service::Send [2]");
  build.begin();
  Packet p;
  prepare_head(p);
  if (length > 0) std::memcpy(p.put(static_cast<unsigned>(length)), data, length);
  build.end();
  pass.begin();
  message(p);
  pass.end();
}

void Service::service_name(const std::string& name) {
  name_ = name;
  strm_->service_name(name);
}

const Measure& Service::get_read_measure() const { return strm_->read_measure(); }

const Measure& Service::get_write_measure() const { return strm_->write_measure(); }

unsigned Service::GetOverflowCounter() const { return strm_->overflow(); }

void Service::Release() { strm_->release(); }

const Fd& Service::socket() const { return strm_->socket(); }

void Service::attach(const Fd& socket, const std::string& peer) {
  ignored_log_.flush();
  peer_ = peer;
  state_ = State::Connected;
  input_ended_ = false;
  strm_->attach(socket);
  activate();
  if (sink_) sink_->OnConnect();
}

void Service::on_message(Packet& p) {
  if (state_ == State::Deactivating || !sink_) return;
  sink_->OnMessage(reinterpret_cast<const char*>(p->data), static_cast<int>(p.length()));
}

void Service::on_activated(Protocol*) {}

void Service::on_status(Protocol_status status) {
  if (status->source() != strm_) return;
  input_ended_ = true;
  AnswerSent();
}

void Service::AnswerSent() {
  // A connection that has ended meanwhile has nothing left to close.
  if (!input_ended_ || !strm_->attached()) return;
  if (sink_ && sink_->AnswersOwed()) return;
  Disconnect();
}

void Service::on_deactivated(Protocol*, Protocol_status) {
  refused_log_.flush();
  if (log_) std::cerr << "control connection " << peer_ << " closed." << std::endl;
  state_ = State::Deactivating;
  deactivate_dpc_.Activate();
}

void Service::OnDeactivateDPC() {
  deactivate_dpc_.Deactivate();
  // A Deactivate or Activate since the connection ended has settled the transport already,
  // and a stopped transport stays stopped.
  if (state_ == State::Deactivating) {
    state_ = active_ ? State::Connecting : State::Idle;
    if (active_) ImplOnDisconnect();
  }
  if (sink_) sink_->OnDisconnect();
}

void ServiceNet::Connected(const Fd& socket, const INet4::Addr& peer) {
  if (state() == State::Deactivating) return;
  const int on = 1;
  if (::setsockopt(socket.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0 && log())
    std::cerr << "fail set keepalive to control socket." << std::endl;
  if (::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 && log())
    std::cerr << "fail to turn off Nagle algorithm." << std::endl;
  peer_addr_ = peer;
  attach(socket, peer.GetString());
}

void ServiceUnix::Connected(const Fd& socket, const std::string& peer) {
  if (state() == State::Deactivating) return;
  attach(socket, peer);
}

}  // namespace Control
