// Control::ConnectorNet: the connecting flavour of the control connection over TCP, with the
// retries of Control::Connector.
#pragma once

#include <string>

#include "proto/connector.h"

namespace Control {

class ConnectorNet : public Connector<ServiceNet> {
 public:
  // The peer's dotted address (it may carry ":port", which then wins) and port.
  ConnectorNet(const std::string& host, unsigned short port);
  // "a.b.c.d:port".
  explicit ConnectorNet(const std::string& address) : ConnectorNet(address, 0) {}
  ConnectorNet() : ConnectorNet(std::string(), 0) {}
  ~ConnectorNet() override;

 protected:
  // False (logged, state Idle) when the host text is not a dotted address.
  bool ImplActivate() override;
  Fd NewSocket() override;
  void Target(INet4::Addr* to) const override;
  int ConnectTo(int socket, const INet4::Addr& to) override;
  bool PendingError(int socket, int* error) override;

 private:
  // The address of the attempts; false when the host text does not parse.
  bool PeerAddress(INet4::Addr* to) const;

  unsigned short port_;
  std::string host_;
};

}  // namespace Control
