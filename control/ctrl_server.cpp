#include "control/ctrl_server.h"

#include <iostream>
#include <iterator>

#include "asn1/coder_env.h"
#include "asn1/per_decoder.h"
#include "asn1/sequence.h"
#include "base/ext_header.h"
#include "base/ext_hex.h"
#include "control/ctrl_service.h"

CtrlSrv::Server ctrlServer;

namespace CtrlSrv {

namespace {

constexpr unsigned avg_stat_ms = 5000;
// Room for every response and for all but the largest signals.
constexpr size_t encoded_reserve = 200;

// Aligned PER decoding that notes how many root fields of the message (seq, slot, pdu) were read
// whole, so that a message that fails further on still tells its seq and slot.
class MessageDecoder : public ASN1::PERDecoder {
 public:
  using PERDecoder::PERDecoder;

  int visitExtensionRoot(ASN1::SEQUENCE& seq, int index, int optionalId) override {
    if (!top_) top_ = &seq;
    const int result = PERDecoder::visitExtensionRoot(seq, index, optionalId);
    if (&seq == top_ && result == CONTINUE) whole_ = index + 1;
    return result;
  }
  // Whether root field `index` of the message was read whole.
  bool read_whole(int index) const { return index < whole_; }

 private:
  const ASN1::SEQUENCE* top_ = nullptr;
  int whole_ = 0;
};

// The message's root fields, in order.
constexpr int seq_field = 0;
constexpr int slot_field = 1;

}  // namespace

Server::Server() { encoded_.reserve(encoded_reserve); }

Server::~Server() { Deactivate(); }

void Server::Bind(Service* s) {
  services.push_back(s);
  s->server = this;
}

bool Server::Activate(Control::Service* c) {
  Deactivate();
  connection = c;
  connection->service_name("server");
  connection->Bind(this);
  return connection->Activate();
}

void Server::Deactivate() {
  if (!connection) return;
  connection->Deactivate();
  OnDisconnect();
  connection->UnBind();
  delete connection;
  connection = nullptr;
}

void Server::Success() {
  if (answer != NotAnswered) return;
  answer = Answered;
  Respond(LGCP::Response::e_success, LGCP::ErrorCause::internal);
}

void Server::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (answer == ErrorSent) return;
  answer = ErrorSent;
  Respond(LGCP::Response::e_error, cause);
}

void Server::Respond(LGCP::Response::Id id, LGCP::ErrorCause::NamedNumber cause) {
  LGCP::Message m;
  AssignSeq(m);
  AssignSlot(m);
  LGCP::Response& r = m.get_pdu().select_response();
  if (id == LGCP::Response::e_success) {
    r.select_success();
  } else {
    r.select_error() = cause;
  }
  SendMsg(m);
}

unsigned Server::delayResponse() {
  answer = Answered;
  ++owed_;
  return seq;
}

void Server::delayedSuccess(unsigned slot_number, unsigned seq_number) {
  LGCP::Message m;
  m.set_seq(static_cast<int32_t>(seq_number));
  m.set_slot(slot_number);
  m.get_pdu().select_response().select_success();
  SendMsg(m);
  if (owed_ > 0 && --owed_ == 0 && connection) connection->AnswerSent();
}

void Server::SendSignal(const LGCP::Signal& s) { SendSignal(slot, s); }

void Server::SendSignal(unsigned slot_number, const LGCP::Signal& s) {
  LGCP::Message m;
  if (slot_number != no_slot) m.set_slot(slot_number);
  m.get_pdu().select_signal() = s;
  SendMsg(m);
}

bool Server::CheckServerConnection(bool& up) const {
  if (!connection) return false;
  up = connection->state() == Control::Service::State::Connected;
  return true;
}

void Server::OnHeartbeatTimeout() {
  if (connection) connection->Disconnect();
}

void Server::PutHeader(std::ostream& os) const {
  if (!connection) {
    os << "ctrl [null]: ";
  } else if (connection->state() == Control::Service::State::Connected) {
    os << "ctrl [" << connection->peer() << "]: ";
  } else {
    os << "ctrl [not connected]: ";
  }
}

void Server::OnConnect() {
  owed_ = 0;
  std::clog << ext::header(this) << "controller connect." << std::endl;
  for (Service* s : services) s->OnConnect();
  SetAvgStatTimer();
}

void Server::OnDisconnect() {
  logs_.flush(this);
  for (Service* s : services) s->OnDisconnect();
  owed_ = 0;
  avgStatTimer.reset();
}

void Server::SetAvgStatTimer() { avgStatTimer.set(avg_stat_ms, &Server::OnUpdateAvgStat, this); }

void Server::OnMessage(const char* data, int length) {
  LGCP::Message m;
  MessageDecoder decoder(data, length > 0 ? data + length : data);
  if (length >= 0 && m.accept(decoder)) {
    OnMessage(m);
  } else {
    const char* kind = "receive fail: decode error!";
    if (logs_.write(std::cerr, kind, [&](std::ostream& os) { os << ext::header(this) << kind; }))
      std::cerr << " msg: " << ext::OutBufInHex(data, length > 0 ? size_t(length) : 0, dump_limit)
                << std::endl;
    // A seq read whole before the failure is answered, so that the controller need not wait
    // out its own timeout; without one there is nothing to answer.
    if (length >= 0 && m.has_seq() && decoder.read_whole(seq_field)) {
      answer = NotAnswered;
      seqPresent = true;
      seq = static_cast<unsigned>(m.get_seq().getValue());
      slot = no_slot;
      if (m.has_slot() && decoder.read_whole(slot_field) &&
          static_cast<unsigned>(m.get_slot().getValue()) <= max_slot)
        slot = static_cast<unsigned>(m.get_slot().getValue());
      Error(LGCP::ErrorCause::invalidParams);
    }
  }
  slot = no_slot;
}

void Server::OnMessage(const LGCP::Message& m) {
  answer = NotAnswered;
  seqPresent = m.has_seq();
  if (seqPresent) seq = static_cast<unsigned>(m.get_seq().getValue());
  if (!m.get_pdu().is_command()) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  slot = no_slot;
  if (m.has_slot()) {
    const unsigned value = static_cast<unsigned>(m.get_slot().getValue());
    if (value > max_slot) {
      Error(LGCP::ErrorCause::invalidSlot);
      return;
    }
    slot = value;
  }
  const LGCP::Command& command = m.get_pdu().get_command();
  bool taken = false;
  for (Service* s : services) {
    if (s->OnCommand(command)) {
      taken = true;
      break;
    }
  }
  if (!taken) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
  } else if (answer == NotAnswered) {
    const char* kind = "software error: server do NOT send ack!!!";
    if (logs_.write(std::cerr, kind, [&](std::ostream& os) { os << ext::header(this) << kind; }))
      std::cerr << "please report this fault to the orvexd maintainers" << std::endl;
    Error(LGCP::ErrorCause::internal);
  }
}

void Server::AssignSeq(LGCP::Message& m) const {
  if (seqPresent) m.set_seq(static_cast<int32_t>(seq));
}

void Server::AssignSlot(LGCP::Message& m) const {
  if (slot != no_slot) m.set_slot(slot);
}

void Server::SendMsg(LGCP::Message& m) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  encoded_.clear();
  if (!ASN1::encode(m, &env, std::back_inserter(encoded_))) {
    // Written through a string: a value that does not print would leave the log stream failed,
    // and every later line lost.
    const char* kind = "send fail: encode error!";
    logs_.write(std::cerr, kind,
                [&](std::ostream& os) { os << ext::header(this) << kind << m.asValueNotation(); });
    return;
  }
  if (!connection) {
    std::cerr << ext::header(this) << "send fail: Service not attached!" << std::endl;
    return;
  }
  connection->Send(encoded_.data(), static_cast<int>(encoded_.size()));
}

}  // namespace CtrlSrv
