// Control::AcceptorUnix: the listening flavour of the control connection over a UNIX-domain
// stream socket.
//
// It listens on a socket path and behaves as Control::Acceptor says. A socket left at the path
// by an earlier run is removed before each bind; a path that is not a socket is left alone, and
// the bind fails on it. The peer's text is the path its socket is bound to, empty when it has
// none.
#pragma once

#include <string>

#include "proto/acceptor.h"

namespace Control {

class AcceptorUnix : public Acceptor<ServiceUnix> {
 public:
  AcceptorUnix() : AcceptorUnix(std::string()) {}
  explicit AcceptorUnix(const std::string& path);
  ~AcceptorUnix() override;

 protected:
  Fd NewSocket() override;
  int BindAddress(int socket) override;
  Fd AcceptPeer(int listening, std::string* from) override;

 private:
  std::string path_;
};

}  // namespace Control
