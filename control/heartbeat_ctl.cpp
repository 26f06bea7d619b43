#include "control/heartbeat_ctl.h"

#include <iostream>

#include "control/ctrl_server.h"

HeartBeatCtl& HeartBeatCtl::instance() {
  static HeartBeatCtl heartBeatCtl;
  return heartBeatCtl;
}

bool HeartBeatCtl::OnCommand(const LGCP::Command& command) {
  ResetTimeOut();
  if (!command.is_ping()) return false;
  Success();
  return true;
}

void HeartBeatCtl::PutHeader(std::ostream& os) const { os << "heartbeat: "; }

void HeartBeatCtl::ResetTimeOut() {
  timeout.set(timeout_ms, &HeartBeatCtl::OnHeartbeatTimeout, this);
}

void HeartBeatCtl::OnHeartbeatTimeout(Timer*) {
  std::clog << "heartbeat timeout!!!" << std::endl;
  if (GetServer()) GetServer()->OnHeartbeatTimeout();
}
