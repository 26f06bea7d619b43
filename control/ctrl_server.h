// CtrlSrv::Server: the daemon's end of the LGCP control protocol, and its one instance
// `ctrlServer`.
//
// The server is the sink of the single control connection (a Control::Service it owns from
// Activate to Deactivate). Every received frame is decoded as an LGCP::Message in aligned PER;
// each command is offered to the bound services (CtrlSrv::Service, not owned) in bind order until
// one takes it. The server holds the seq and slot of the command being handled, so services
// answer with Success() or Error() without carrying them, and it keeps every command to exactly
// one response:
//   - a frame that does not decode is logged with its hex dump (the first 256 octets and its
//     length); such lines come at most once per second, with the count of those left out, and
//     the disconnect writes the count still owed. When its seq was read whole before the
//     failure it gets error invalidParams with that seq (and its slot, when read too), else no
//     response;
//   - a message that is not a command, or a command no service takes: error unexpectedMsgType;
//   - a slot above 1023: error invalidSlot, without slot, offered to no service;
//   - a taker that neither answers nor delays: logged (at most once a second), error internal.
// A controller that has finished sending keeps its connection until every delayed answer it is
// owed has gone out. Signals go out without seq; responses and signals are encoded here and
// sent as one TPKT frame; one that does not encode is logged at most once a second.
#pragma once

#include <iosfwd>
#include <list>
#include <vector>

#include "asn1/modules/lgcp.h"
#include "base/log_throttles.h"
#include "base/timer.h"
#include "proto/control_service.h"

namespace CtrlSrv {

class Service;

class Server : public Control::Notify {
 public:
  // The slot value meaning "no slot".
  static constexpr unsigned no_slot = ~0u;
  static constexpr unsigned max_slot = 1023;
  // Octets of an undecodable frame shown in its log line.
  static constexpr size_t dump_limit = 256;

  Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() override;

  // Appends `s` to the services; commands are offered in bind order. Before activation only.
  void Bind(Service* s);
  // Takes ownership of `c`, names it "server", becomes its sink and starts it (any previous
  // connection is deactivated first). The result of the connection's Activate().
  bool Activate(Control::Service* c);
  // Stops and deletes the connection; every service hears OnDisconnect. Nothing without one.
  void Deactivate();

  // Answers the command being handled: Success() only while nothing was sent or delayed,
  // Error() unless an error was sent already.
  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  // Marks the command as answered later; returns the seq to give delayedSuccess.
  unsigned delayResponse();
  // The success response of a command answered later, with seq and slot.
  void delayedSuccess(unsigned slot, unsigned seq);

  // `s` without seq, with the slot of the command being handled when it carried one.
  void SendSignal(const LGCP::Signal& s);
  // `s` without seq, with `slot`.
  void SendSignal(unsigned slot, const LGCP::Signal& s);

  // The slot of the command being handled, no_slot when it carried none (or no valid one).
  unsigned GetSlot() const { return slot; }
  bool IsSlotPresent() const { return slot != no_slot; }
  // False without a connection; else `up` = the connection is Connected, and true.
  bool CheckServerConnection(bool& up) const;
  // Drops the controller's connection, if there is one.
  void OnHeartbeatTimeout();
  const std::list<Service*>& GetServices() const { return services; }

  void PutHeader(std::ostream& os) const;

  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int length) override;
  // Delayed answers not yet sent on this connection.
  bool AnswersOwed() const override { return owed_ > 0; }

 private:
  enum Answer { NotAnswered = 0, Answered = 1, ErrorSent = 2 };

  void OnMessage(const LGCP::Message& m);
  void Respond(LGCP::Response::Id id, LGCP::ErrorCause::NamedNumber cause);
  void SendMsg(LGCP::Message& m);
  void AssignSeq(LGCP::Message& m) const;
  void AssignSlot(LGCP::Message& m) const;
  void SetAvgStatTimer();
  void OnUpdateAvgStat() {}

  std::list<Service*> services;
  Control::Service* connection = nullptr;
  bool seqPresent = false;
  unsigned seq = 0;
  unsigned slot = no_slot;
  Answer answer = NotAnswered;
  // Delayed answers owed on the current connection.
  unsigned owed_ = 0;
  Timer avgStatTimer;
  // A frame that does not decode (an allowed line is followed by the frame's octets), a message
  // that does not encode, and a command that a service took without answering: the controller,
  // its commands and the peers behind the slots can repeat each at any rate. The counts owed are
  // written when the controller leaves.
  LogThrottles logs_;
  // The encoding of the message being sent; kept to reuse its room.
  std::vector<char> encoded_;
};

}  // namespace CtrlSrv

extern CtrlSrv::Server ctrlServer;
