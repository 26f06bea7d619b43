// ModemFactory: makes the modem slots (create alternative modem), counts the DSP modems and the
// free generic-HDLC interfaces for the resource report, and runs the PPP authentication relay:
// a TCP server on 127.0.0.1:52000 whose connections (AuthClient) carry the records of the
// authentication programs that pppd runs, routed by session id to the modem slots. Each call has
// a session of its own (auth_records.h): a DSP modem its number, a digital call its interface's;
// -1 names no call, in either direction.
//
// The relay serves at most kMaxAuthClients connections at once. A connection beyond them takes
// the place of the oldest one that does not wait for an answer, or, when all wait, of the one
// whose session has waited the longest without an answer once that is AuthSession::kAnswerWaitMs
// or more (auth_client.h), so that no local program can keep an authentication program out for longer;
// otherwise it is accepted and closed at once (one log line a burst). An answer goes to the
// connection that last sent an auth request of its session. When the process is out of
// descriptors, the listener is not polled for kAcceptPauseMs, so that a connection left queued
// does not keep the loop busy. A record for a session no slot has, and an answer for a session
// no connection has, are logged at most once a second each, with the count of those left out;
// the count owed for records is written when a connection ends, and both when the controller
// leaves. The lines of connections that open and end are throttled in the same way, since a
// local program can open them at any rate.
//
// The pool's marks (modem_pool.h) keep a modem that a program may still use from other calls.
//
// Log header "modem[COUNT,SLOTS]: ".
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <list>
#include <string>

#include "asn1/modules/term.h"
#include "base/event.h"
#include "base/fd.h"
#include "base/throttled_line.h"
#include "base/timer.h"
#include "slotbase/slot_factory.h"
#include "slots/media/modem_pool.h"

struct attr;
class AuthClient;
class DspModemSlot;
class HdlcModemSlot;
class ModemSlot;

class ModemFactory : public SlotFactory {
 public:
  static constexpr unsigned short kAuthPort = 52000;
  static constexpr size_t kMaxAuthClients = 64;
  static constexpr unsigned kAcceptPauseMs = 100;
  // accept4(2) as the relay calls it; tests put one that fails in its place.
  static int (*accept_socket)(int socket, sockaddr* address, socklen_t* length, int flags);

  static ModemFactory& instance();

  const char* GetName() const override { return "Modem"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  // modem and digital-modems.
  void Query(LGCP::Resources& report) override;
  // Also the counts owed for records and answers of sessions nobody has.
  void FlushLogs() override;
  void IQuery();
  void update_modemDevices();
  void update_hdlcDevices();
  void ReleaseModemSlot(DspModemSlot* slot);
  void ReleaseModemSlot(HdlcModemSlot* slot);

  // The relay.
  void Init();
  void OnSocketEvent(int fd, short events);
  // Routes a record that `from` received to its session's slot.
  void OnAuth(const attr& record, AuthClient& from);
  // `from` sent an auth request of `session`: it takes the session's answer from any other
  // connection.
  void Ask(AuthClient& from, int session);
  // `session`'s request has gone unanswered too long: its connection no longer waits.
  void EndWait(int session);
  // Sends an answer to the connection that takes its session's answer.
  bool SendAuth(const attr& record);
  void OnAuthSocketDisconnect(AuthClient* client);
  // The first modem slot whose session is `id`; null for -1.
  ModemSlot* FindModemByDsp(int id);

  void PutHeader(std::ostream& os) const override;

  uint32_t modem_count = 0;
  std::list<ModemSlot*> modems;
  std::list<DspModemSlot*> dsp_modems;
  std::list<HdlcModemSlot*> hdlc_modems;
  std::list<std::string> free_interfaces;
  ModemPool pool;
  Event server;
  std::list<AuthClient*> clients;

 private:
  ModemFactory();
  ~ModemFactory() override;
  bool held(const std::string& name) const;
  // False, after refusing the create with invalidParams, when a text of `params` holds a NUL.
  bool Carries(const TERM::ModemParams& params);
  // The connection that takes `session`'s answer (Ask() leaves at most one); null for none.
  AuthClient* answerer(int session);
  // No connection takes `session`'s answer: another asks for it, or its slot has gone.
  void forget_session(int session);
  // Makes room for a new connection: false when every place waits, none of their sessions for
  // kAnswerWaitMs yet.
  bool make_room();
  // How long the session of a waiting connection has waited (AuthSession::waited_ms()).
  uint32_t waited_ms(const AuthClient& client);
  // Stops polling the listener for kAcceptPauseMs after accept failed with `error`.
  void pause_accepting(int error);
  void resume_accepting();

  Timer accept_pause_;
  // The session of the last record that found no slot, and of the last answer that found no
  // connection.
  int unknown_request_ = 0;
  int unknown_answer_ = 0;
  ThrottledLine unknown_request_log_;
  ThrottledLine unknown_answer_log_;
};
