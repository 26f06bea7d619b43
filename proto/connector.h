// Control::Connector: the connecting part that the connectors over TCP and over UNIX-domain
// sockets share, on top of the service flavour of their family (ServiceNet, ServiceUnix).
//
// It connects without blocking and keeps trying while it is active: a failed attempt is retried
// after 1000 ms for the first seven failures after Activate, afterwards after a delay that
// depends on how the attempt failed; a connection that has ended is followed by a new attempt
// 10000 ms later (the quick retries are spent once per Activate). Deactivate closes a live
// connection without OnDisconnect and stops every attempt. A socket that cannot be created or
// made non-blocking, or whose pending error cannot be read, stops the connector (Idle).
#pragma once

#include "base/event.h"
#include "base/fd.h"
#include "base/timer.h"
#include "proto/control_service.h"

namespace Control {

template <class Flavour>
class Connector : public Flavour {
 public:
  using Peer = typename Flavour::Peer;

  static constexpr int quick_retries = 7;
  static constexpr unsigned quick_retry_ms = 1000;
  // The delays after the quick retries, by failure kind.
  static constexpr unsigned connect_error_ms = 20000;
  static constexpr unsigned hangup_ms = 15000;
  static constexpr unsigned socket_error_ms = 12000;
  static constexpr unsigned reconnect_ms = 10000;

  ~Connector() override;

 protected:
  // The words of the family's log lines: what its socket is called ("socket"), and what opens
  // the line of a connect that succeeds at once.
  struct Texts {
    const char* socket;
    const char* connected_at_once;
  };

  Connector(const char* event_name, const Texts& texts);

  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override;

  // A new close-on-exec socket of the family; closed, with errno set, when it cannot be
  // created.
  virtual Fd NewSocket() = 0;
  // Readies a new non-blocking socket before it connects.
  virtual void Prepare(int socket) { (void)socket; }
  // The peer of the attempts.
  virtual void Target(Peer* to) const = 0;
  // connect(2): 0, or -1 with errno.
  virtual int ConnectTo(int socket, const Peer& to) = 0;
  // The socket's pending error (SO_ERROR) into *error; false, with errno set, when the query
  // fails.
  virtual bool PendingError(int socket, int* error) {
    return SocketCalls::system().pending_error(socket, error);
  }

 private:
  void TryConnect();
  void OnSocketEvent(int socket, short events);
  void OnTimeout(Timer* t);
  // The next attempt: in quick_retry_ms while quick retries are left, else in `delay`.
  void ScheduleRetry(unsigned delay);
  // The attempt has succeeded: the socket goes to the stack.
  void Attach(const Peer& to);

  Texts texts_;
  Fd connecting_;
  Timer retry_timer_;
  Event event_;
  int retries_ = 0;
};

extern template class Connector<ServiceNet>;
extern template class Connector<ServiceUnix>;

}  // namespace Control
