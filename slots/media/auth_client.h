// AuthClient: one connection of an authentication program to the relay. It reassembles the
// records it receives and hands each complete one to the factory; it sends the records of its
// session id. A connection that closes itself inside its own handling is deleted by the factory
// only once that handling is over (the use count).
#pragma once

#include <iosfwd>

#include "base/event.h"
#include "base/fd.h"
#include "base/inet4_addr.h"
#include "slots/media/auth_records.h"

class ModemFactory;

class AuthClient {
 public:
  AuthClient(Fd fd, const INet4::Addr& peer, ModemFactory& factory);
  AuthClient(const AuthClient&) = delete;
  AuthClient& operator=(const AuthClient&) = delete;

  // Starts reading.
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
  INet4::Addr peer_;
  int use_ = 0;
  Auth::Reader reader_;
  ModemFactory& factory_;
  int session_ = -1;
  bool identified_ = false;
};
