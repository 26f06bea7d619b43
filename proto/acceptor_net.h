// Control::AcceptorNet: the listening flavour of the control connection over TCP.
//
// It listens on a port of every local address (SO_REUSEADDR) and behaves as Control::Acceptor
// says: one peer at a time, a port in use bound again every 5000 ms.
#pragma once

#include "proto/acceptor.h"

namespace Control {

class AcceptorNet : public Acceptor<ServiceNet> {
 public:
  AcceptorNet() : AcceptorNet(0) {}
  explicit AcceptorNet(int port);
  AcceptorNet(int port, bool log);
  ~AcceptorNet() override;

  // The port actually listened on (the kernel's choice for port 0); 0 when not listening.
  unsigned short local_port() const;

 protected:
  Fd NewSocket() override;
  int BindAddress(int socket) override;
  Fd AcceptPeer(int listening, INet4::Addr* from) override;

 private:
  unsigned short port_;
};

}  // namespace Control
