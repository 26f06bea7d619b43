// CtrlSrv::Service: the base of every control service, the process-lifetime singletons that take
// LGCP commands from the control server, answer them and send signals.
//
// A service is bound once to the server (CtrlSrv::Server::Bind) and stays bound. Within one
// command the server calls OnCommand; a service that returns true calls exactly one of Success,
// Error or delayResponse before returning, and a delayed answer later goes out through
// delayedSuccess with the seq that delayResponse returned. Signals may be sent at any time: each
// is first handed, synchronously and in bind order, to OnSignal of every other bound service,
// then sent to the controller. Calls on a service that is not bound log a line and do nothing.
#pragma once

#include "asn1/modules/lgcp.h"

namespace CtrlSrv {

class Server;

class Service {
 public:
  Service() = default;
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;
  virtual ~Service() = default;

  // The controller has connected.
  virtual void OnConnect() = 0;
  // The controller's connection has ended (also once when the server is deactivated).
  virtual void OnDisconnect() = 0;
  // True: this service takes the command and answers it; false: offer it to the next service.
  virtual bool OnCommand(const LGCP::Command& command) = 0;
  // A signal that another bound service is sending.
  virtual void OnSignal(const LGCP::Signal& signal) { (void)signal; }

  // True when bound; else logs "CtrlSrv::Service error! service not connected to server.".
  bool CheckServer() const;

  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  // Fan-out, then the signal without seq, with the slot of the command being handled if any.
  void SendSignal(const LGCP::Signal& s);
  // Fan-out, then the signal without seq, with `slot`.
  void SendSignal(unsigned slot, const LGCP::Signal& s);
  // The slot of the command being handled; all ones when it carried none, or when unbound.
  unsigned GetSlot() const;
  bool IsSlotPresent() const;
  // Marks the command as answered later; the seq for delayedSuccess (all ones when unbound).
  unsigned delayResponse();
  void delayedSuccess(unsigned slot, unsigned seq);
  // False when unbound (silently) or when the server has no connection; else `up` = the
  // controller is connected, and true.
  bool CheckServerConnection(bool& up) const;

 protected:
  // The server this service is bound to; null before Bind.
  Server* GetServer() const { return server; }

 private:
  friend class Server;
  // OnSignal of every bound service but this one, in bind order.
  void FanOut(const LGCP::Signal& s);

  Server* server = nullptr;
};

}  // namespace CtrlSrv
