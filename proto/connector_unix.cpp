#include "proto/connector_unix.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "proto/socket_calls.h"

namespace Control {

ConnectorUnix::ConnectorUnix(const std::string& server_path, const std::string& local_path)
    : Connector("ConnectorUnix::OnSocketEvent", {"domain socket", "connected to "}),
      server_path_(server_path),
      local_path_(local_path) {}

ConnectorUnix::~ConnectorUnix() = default;

Fd ConnectorUnix::NewSocket() { return UnixSocket(); }

void ConnectorUnix::Prepare(int socket) {
  if (local_path_.empty()) return;
  RemoveStaleSocket(local_path_);
  if (BindUnix(socket, local_path_) != 0)
    std::cerr << "can't bind to domain socket '" << local_path_ << "': \""
              << std::strerror(errno) << std::endl;
}

void ConnectorUnix::Target(std::string* to) const { *to = server_path_; }

int ConnectorUnix::ConnectTo(int socket, const std::string& to) {
  return ConnectUnix(socket, to);
}

}  // namespace Control
