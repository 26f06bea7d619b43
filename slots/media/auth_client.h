// AuthClient: one connection of an authentication program to the relay. It reassembles the
// records it receives and hands each complete one to the factory; it sends the records of its
// session id. A connection that closes itself inside its own handling is deleted by the factory
// only once that handling is over (the use count).
//
// One readiness event reads at most kMaxReadsPerEvent times: a peer that writes without pause
// leaves the rest for the next turns of the loop, after the other descriptors and the timers.
// A connection must bring each record whole within kRecordDeadlineMs, counted from its opening
// for the first record and from the first bytes of each later one; else it is closed, with a
// throttled line, so that connections that trickle bytes or send nothing cannot hold the
// relay's places. A connection waiting between records (for the controller's answer) has no
// deadline.
#pragma once

#include <iosfwd>

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
  // Writes the whole record; false when the connection is or becomes closed.
  bool Send(const attr& record);
  void OnSocketEvent(int fd, short events);
  void OnDisconnect();
  // Hands a closed connection that no operation of its own uses to the factory.
  void CheckDisconnect();

  bool closed() const { return !event.fd(); }
  // The session id of the last record received; -1 before the first.
  int session() const { return session_; }
  bool identified() const { return identified_; }
  const INet4::Addr& peer() const { return peer_; }
  void PutHeader(std::ostream& os) const;

  Event event;

 private:
  // Closes a connection whose record is still not whole.
  void on_deadline();

  INet4::Addr peer_;
  int use_ = 0;
  Auth::Reader reader_;
  ModemFactory& factory_;
  int session_ = -1;
  bool identified_ = false;
  Timer deadline_;
};
