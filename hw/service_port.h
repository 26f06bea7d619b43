// ServicePort: what a board control service needs of the control server while it handles a
// command: one answer (Success or Error) and any number of signals. The service's owner binds
// it; an unbound service answers nothing and sends nothing.
#pragma once

#include "asn1/modules/lgcp.h"

class ServicePort {
 public:
  virtual ~ServicePort() = default;
  virtual void Success() = 0;
  virtual void Error(LGCP::ErrorCause::NamedNumber cause) = 0;
  virtual void SendSignal(const LGCP::Signal& signal) = 0;
};
