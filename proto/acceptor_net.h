// Control::AcceptorNet: the listening flavour of the control connection over TCP.
//
// It listens on a port of every local address (SO_REUSEADDR, backlog 1) and attaches one peer at
// a time; while a peer is attached every further peer is accepted and closed at once. A port in
// use is bound again every 5000 ms. The listening socket stays open across connections, so after
// a connection has ended the next peer is attached without a new bind.
#pragma once

#include <iosfwd>

#include "base/event.h"
#include "base/fd.h"
#include "base/timer.h"
#include "proto/control_service.h"

namespace Control {

class AcceptorNet : public ServiceNet {
 public:
  static constexpr unsigned bind_retry_ms = 5000;
  // How long the acceptor stops accepting when the process is out of descriptors.
  static constexpr unsigned accept_backoff_ms = 1000;

  AcceptorNet() : AcceptorNet(0) {}
  explicit AcceptorNet(int port);
  AcceptorNet(int port, bool log);
  ~AcceptorNet() override;

  // The port actually listened on (the kernel's choice for port 0); 0 when not listening.
  unsigned short local_port() const;

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override {}
  // A peer has just been refused because one is attached.
  virtual void ImplRefuseConnection() {}
  // A peer has just been attached.
  virtual void ImplConnected(const Fd& socket) { (void)socket; }

  // Tries to open and bind the listening socket again in bind_retry_ms.
  void RetryLater();

 private:
  // Opens the listening socket; false (logged) when it cannot.
  bool CreateSocket();
  void BindSocket();
  void OnTimeout(Timer* t);
  void OnSocketEvent(int socket, short events);
  // Takes one pending peer; true when the next one may be taken at once.
  bool AcceptOne();
  void OnAcceptResume();

  unsigned short port_;
  Fd listen_;
  Timer retry_timer_;
  Event event_;
};

}  // namespace Control
