// Control::ConnectorNet: the connecting flavour of the control connection over TCP.
//
// It connects without blocking and keeps trying while it is active: a failed attempt is retried
// after 1000 ms for the first seven failures after Activate, afterwards after a delay that
// depends on how the attempt failed; a connection that has ended is followed by a new attempt
// 10000 ms later (the quick retries are spent once per Activate). Deactivate closes a live
// connection without OnDisconnect and stops every attempt.
#pragma once

#include <string>

#include "base/event.h"
#include "base/fd.h"
#include "base/timer.h"
#include "proto/control_service.h"

namespace Control {

class ConnectorNet : public ServiceNet {
 public:
  static constexpr int quick_retries = 7;
  static constexpr unsigned quick_retry_ms = 1000;
  // The delays after the quick retries, by failure kind.
  static constexpr unsigned connect_error_ms = 20000;
  static constexpr unsigned hangup_ms = 15000;
  static constexpr unsigned socket_error_ms = 12000;
  static constexpr unsigned reconnect_ms = 10000;

  // The peer's dotted address (it may carry ":port", which then wins) and port.
  ConnectorNet(const std::string& host, unsigned short port);
  // "a.b.c.d:port".
  explicit ConnectorNet(const std::string& address) : ConnectorNet(address, 0) {}
  ConnectorNet() : ConnectorNet(std::string(), 0) {}
  ~ConnectorNet() override;

 protected:
  // False (logged, state Idle) when the host text is not a dotted address.
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override;

 private:
  void TryConnect();
  void OnSocketEvent(int socket, short events);
  void OnTimeout(Timer* t);
  // The address of the attempts; false when the host text does not parse.
  bool PeerAddress(INet4::Addr* to) const;
  // The next attempt: in quick_retry_ms while quick retries are left, else in `delay`.
  void ScheduleRetry(unsigned delay);
  // The attempt has succeeded: the socket goes to the stack.
  void Attach(const INet4::Addr& to);

  unsigned short port_;
  std::string host_;
  Fd connecting_;
  Timer retry_timer_;
  Event event_;
  int retries_ = 0;
};

}  // namespace Control
