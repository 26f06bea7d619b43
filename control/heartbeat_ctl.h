// HeartBeatCtl: supervision of the controller. It answers the ping command and drops the control
// connection when no command has reached the services for 120 s, so that a controller that hangs
// without closing its socket loses its slots and a new one can connect. The connection dropped
// is that of the server the service is bound to.
//
// The count starts when the connection opens: a peer that connects and never brings a command
// (a port scanner, a controller that died before its first command, a half-open connection)
// would otherwise hold the one controller place for good. It is bound first, so every command
// offered to the services restarts the count; commands the server refuses before offering them
// do not. No count runs after a disconnect.
#pragma once

#include <iosfwd>

#include "base/timer.h"
#include "control/ctrl_service.h"

class HeartBeatCtl : public CtrlSrv::Service {
 public:
  static constexpr unsigned timeout_ms = 120000;

  // The daemon's instance; tests make their own.
  static HeartBeatCtl& instance();
  HeartBeatCtl() = default;

  // Starts the count.
  void OnConnect() override { ResetTimeOut(); }
  void OnDisconnect() override { timeout.reset(); }
  // Restarts the count; takes ping (answered with success) and nothing else.
  bool OnCommand(const LGCP::Command& command) override;

  void PutHeader(std::ostream& os) const;

 private:
  void ResetTimeOut();
  void OnHeartbeatTimeout(Timer* t);

  Timer timeout;
};
