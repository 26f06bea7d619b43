// Control::AcceptorNetCheckConnection: the controller's acceptor, which also watches the live
// connection.
//
// Once a second it reads the connection's TCP state and pending error and drops a connection
// that is neither established nor half-closed by its peer (CLOSE_WAIT: the peer has finished
// sending and still reads its answers), or has an error pending. A refused peer is taken as a
// sign that the controller has come back over a new connection while the old one still looks
// alive: the acceptor then switches the live connection to a short keep-alive (1 s idle, 1 s
// interval, 3 probes) and drops it when its congestion state is other than Open at two checks
// in a row, so that the controller's next attempt is attached. A check that finds the congestion state
// Open ends that watch. Each new connection starts unwatched.
//
// Unlike the plain acceptor it never gives up: a listening socket that cannot be created is
// tried again every 5000 ms, like a port in use.
#pragma once

#include "proto/acceptor_net.h"

namespace Control {

class AcceptorNetCheckConnection : public AcceptorNet {
 public:
  struct CheckState {
    enum Type { Idle = 0, CheckConnection = 1 };
  };

  static constexpr unsigned check_interval_ms = 1000;
  // Checks with a congested connection that are tolerated after a refusal.
  static constexpr int congested_checks = 2;

  AcceptorNetCheckConnection() = default;
  explicit AcceptorNetCheckConnection(int port) : AcceptorNet(port) {}
  AcceptorNetCheckConnection(int port, bool log) : AcceptorNet(port, log) {}
  ~AcceptorNetCheckConnection() override;

  CheckState::Type check_state() const { return check_state_; }

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplRefuseConnection() override;
  void ImplConnected(const Fd& socket) override;

 private:
  void CheckConnection();
  void OnCheckConnectionTimeout(Timer* t);
  // Short keep-alive while a refused controller waits (check), the system's usual otherwise.
  void SetupKeepAlive(bool check);
  // Tests the live connection; false when it is to be closed.
  bool ConnectionHealthy();

  Timer check_timer_;
  CheckState::Type check_state_ = CheckState::Idle;
  int countdown_ = 0;
};

}  // namespace Control
