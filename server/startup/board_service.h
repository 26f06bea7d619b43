// BoardService<T>: a board control service of hw/ (HwTests, BusCtl, E1Ctl, spiCtrl), which
// answers through a ServicePort, bound to the control server as a CtrlSrv::Service. Commands,
// connects and disconnects are passed on; the service's answers and signals go out through the
// server.
#pragma once

#include "hw/service_port.h"
#include "server/ctrl/ctrl_service.h"

template <class T>
class BoardService : public CtrlSrv::Service, private ServicePort {
 public:
  explicit BoardService(T& service) : service_(service) { service_.bind(this); }
  ~BoardService() override { service_.bind(nullptr); }

  void OnConnect() override { service_.OnConnect(); }
  void OnDisconnect() override { service_.OnDisconnect(); }
  bool OnCommand(const LGCP::Command& command) override { return service_.OnCommand(command); }

 private:
  void Success() override { CtrlSrv::Service::Success(); }
  void Error(LGCP::ErrorCause::NamedNumber cause) override { CtrlSrv::Service::Error(cause); }
  void SendSignal(const LGCP::Signal& signal) override { CtrlSrv::Service::SendSignal(signal); }

  T& service_;
};
