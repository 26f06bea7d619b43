// Control::ConnectorUnix: the connecting flavour of the control connection over a UNIX-domain
// stream socket, with the retries of Control::Connector.
//
// Each attempt may first bind its socket to a local path (a socket left there is removed
// first; a failed bind is logged and the attempt goes on unbound). A UNIX-domain connect
// completes or fails at once (EAGAIN when the server's backlog is full), so every
// failure is retried with the connect-error delay.
#pragma once

#include <string>

#include "proto/connector.h"

namespace Control {

class ConnectorUnix : public Connector<ServiceUnix> {
 public:
  ConnectorUnix() : ConnectorUnix(std::string()) {}
  // The server's path; no local path.
  explicit ConnectorUnix(const std::string& server_path)
      : ConnectorUnix(server_path, std::string()) {}
  ConnectorUnix(const std::string& server_path, const std::string& local_path);
  ~ConnectorUnix() override;

 protected:
  Fd NewSocket() override;
  void Prepare(int socket) override;
  void Target(std::string* to) const override;
  int ConnectTo(int socket, const std::string& to) override;

 private:
  std::string server_path_;
  std::string local_path_;
};

}  // namespace Control
