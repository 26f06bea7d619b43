#include "control/ctrl_service.h"

#include <iostream>

#include "control/ctrl_server.h"

namespace CtrlSrv {

bool Service::CheckServer() const {
  if (server) return true;
  std::cerr << "CtrlSrv::Service error! service not connected to server." << std::endl;
  return false;
}

void Service::Success() {
  if (CheckServer()) server->Success();
}

void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (CheckServer()) server->Error(cause);
}

void Service::FanOut(const LGCP::Signal& s) {
  for (Service* other : server->GetServices()) {
    if (other != this) other->OnSignal(s);
  }
}

void Service::SendSignal(const LGCP::Signal& s) {
  if (!CheckServer()) return;
  FanOut(s);
  server->SendSignal(s);
}

void Service::SendSignal(unsigned slot, const LGCP::Signal& s) {
  if (!CheckServer()) return;
  FanOut(s);
  server->SendSignal(slot, s);
}

unsigned Service::GetSlot() const { return CheckServer() ? server->GetSlot() : Server::no_slot; }

bool Service::IsSlotPresent() const { return CheckServer() && server->IsSlotPresent(); }

unsigned Service::delayResponse() {
  return CheckServer() ? server->delayResponse() : Server::no_slot;
}

void Service::delayedSuccess(unsigned slot, unsigned seq) {
  if (CheckServer()) server->delayedSuccess(slot, seq);
}

bool Service::CheckServerConnection(bool& up) const {
  return server && server->CheckServerConnection(up);
}

}  // namespace CtrlSrv
