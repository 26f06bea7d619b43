// Control::Acceptor: the listening part that the acceptors over TCP and over UNIX-domain sockets
// share, on top of the service flavour of their family (ServiceNet, ServiceUnix).
//
// It listens with a backlog of 1 and attaches one peer at a time; while a peer is attached every
// further peer is accepted and closed at once, unless the attached connection has already ended
// (end of stream, an error pending, or its disconnect under way): the newcomer then waits in the
// backlog and is attached once the old connection is gone. Peers refused while one is attached
// are logged at most once a second, the count of the rest following; what is owed is written
// when the attached connection ends. An address that cannot be bound is bound again every
// 5000 ms. The listening socket stays open across connections, so after a connection has ended
// the next peer is attached without a new bind. The family gives the socket, the address and
// the peer's text.
#pragma once

#include "base/event.h"
#include "base/fd.h"
#include "base/throttled_line.h"
#include "base/timer.h"
#include "proto/control_service.h"

namespace Control {

template <class Flavour>
class Acceptor : public Flavour {
 public:
  using Peer = typename Flavour::Peer;

  static constexpr unsigned bind_retry_ms = 5000;
  // How long the acceptor stops accepting when the process is out of descriptors.
  static constexpr unsigned accept_backoff_ms = 1000;

  ~Acceptor() override;

 protected:
  explicit Acceptor(const char* event_name);

  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override { refused_log_.flush(); }
  // A peer has just been refused because one is attached.
  virtual void ImplRefuseConnection() {}
  // A peer has just been attached.
  virtual void ImplConnected(const Fd& socket) { (void)socket; }

  // A new close-on-exec socket of the family, ready to bind; closed, with errno set, when it
  // cannot be created.
  virtual Fd NewSocket() = 0;
  // bind(2) of the listening socket to the acceptor's address: 0, or -1 with errno.
  virtual int BindAddress(int socket) = 0;
  // accept4(2) with close-on-exec, the peer into *from; closed, with errno set, when no peer was
  // taken.
  virtual Fd AcceptPeer(int listening, Peer* from) = 0;

  // Tries to open and bind the listening socket again in bind_retry_ms.
  void RetryLater();
  const Fd& listening() const { return listen_; }

 private:
  // Opens the listening socket; false (logged) when it cannot.
  bool CreateSocket();
  void BindSocket();
  void OnTimeout(Timer* t);
  void OnSocketEvent(int socket, short events);
  // Takes one pending peer; true when the next one may be taken at once.
  bool AcceptOne();
  // The attached connection has ended or is ending.
  bool Ending() const;
  void OnAcceptResume();

  Fd listen_;
  Timer retry_timer_;
  Event event_;
  // The last peer refused.
  Peer refused_{};
  ThrottledLine refused_log_;
};

extern template class Acceptor<ServiceNet>;
extern template class Acceptor<ServiceUnix>;

}  // namespace Control
