// AuthClient: one connection of an authentication program to the relay. It reassembles the
// records it receives and hands each complete one to the factory; it sends the answers of the
// session whose answer it takes. A connection that closes itself inside its own handling is
// deleted by the factory only once that handling is over (the use count).
//
// One readiness event reads at most kMaxReadsPerEvent times: a peer that writes without pause
// leaves the rest for the next turns of the loop, after the other descriptors and the timers.
//
// A connection takes the answer of a session when it sends an auth request of the session, and
// keeps it until another connection does the same or the slot goes. It waits for that answer
// until the answer has been written, another connection takes it, or the session's request has
// gone unanswered for AuthSession::kAnswerWaitMs. Any connection that does not wait must bring a
// whole record within kRecordDeadlineMs of its opening, of its last whole record and of the end
// of its wait; else it is closed, with a throttled line, so that connections that trickle bytes
// or send nothing hold no place for long. When every place is taken, the factory gives the
// place of the oldest connection that does not wait to a new one (TakePlace()), and, when all
// wait, the place of the one whose session has waited the longest, once that is kAnswerWaitMs or
// more (AuthSession::waited_ms()): asking again, on this connection or a new one, keeps no place
// for good.
#pragma once

#include <iosfwd>
#include <string>

#include "base/event.h"
#include "base/fd.h"
#include "base/inet4_addr.h"
#include "base/timer.h"
#include "slots/media/auth_records.h"

class ModemFactory;

class AuthClient {
 public:
  static constexpr unsigned kMaxReadsPerEvent = 32;
  static constexpr unsigned kRecordDeadlineMs = 10000;

  AuthClient(Fd fd, const INet4::Addr& peer, ModemFactory& factory);
  AuthClient(const AuthClient&) = delete;
  AuthClient& operator=(const AuthClient&) = delete;

  // Starts reading, and the deadline of the first record.
  void Activate();
  // Writes the whole record; false when the connection is or becomes closed. A record written
  // whole ends the wait.
  bool Send(const attr& record);
  void OnSocketEvent(int fd, short events);
  void OnDisconnect();
  // Hands a closed connection that no operation of its own uses to the factory.
  void CheckDisconnect();

  // An auth request of this connection for `session`: it takes the session's answer and waits
  // for it.
  void Ask(int session);
  // Another connection takes the answer of the session this one takes, or its slot has gone.
  void Forget();
  // The wait, if any, is over: the deadline runs again.
  void EndWait();
  // Closes the connection for a new one to have its place (a throttled line).
  void TakePlace();

  bool closed() const { return !event.fd(); }
  // Whether this connection takes `session`'s answer.
  bool answers(int session) const { return session != Auth::kNoSession && answers_ == session; }
  // The session whose answer it takes; Auth::kNoSession for none.
  int answer_session() const { return answers_; }
  bool waiting() const { return waiting_; }
  const INet4::Addr& peer() const { return peer_; }
  void PutHeader(std::ostream& os) const;

  Event event;

 private:
  // Closes a connection that does not wait and has brought no whole record in time.
  void on_deadline();
  // The deadline from now, unless the connection waits.
  void restart_deadline();
  void close(const char* kind, const std::string& why);

  INet4::Addr peer_;
  int use_ = 0;
  Auth::Reader reader_;
  ModemFactory& factory_;
  // The session whose answer it takes, and whether that answer is still to come.
  int answers_ = Auth::kNoSession;
  bool waiting_ = false;
  Timer deadline_;
};
