#include "proto/acceptor_check.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {

AcceptorNetCheckConnection::~AcceptorNetCheckConnection() = default;

bool AcceptorNetCheckConnection::ImplActivate() {
  if (!AcceptorNet::ImplActivate()) RetryLater();
  // A listening socket that failed for good has deactivated the service.
  if (state() != State::Idle) CheckConnection();
  return true;
}

void AcceptorNetCheckConnection::ImplDeactivate() {
  check_timer_.reset();
  AcceptorNet::ImplDeactivate();
}

void AcceptorNetCheckConnection::ImplConnected(const Fd&) {
  check_state_ = CheckState::Idle;
  countdown_ = 0;
}

void AcceptorNetCheckConnection::ImplRefuseConnection() {
  if (check_state_ != CheckState::Idle) return;
  check_state_ = CheckState::CheckConnection;
  countdown_ = congested_checks;
  SetupKeepAlive(true);
  if (log()) std::cerr << "CheckConnectionState CheckConnection" << std::endl;
}

void AcceptorNetCheckConnection::SetupKeepAlive(bool check) {
  const int fd = socket().get();
  const int on = 1, idle = check ? 1 : 7200, interval = check ? 1 : 75, count = check ? 3 : 9;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

bool AcceptorNetCheckConnection::ConnectionHealthy() {
  const int fd = socket().get();
  bool healthy = true;
  unsigned char tcp_state = 0, ca_state = 0;
  if (calls().tcp_info(fd, &tcp_state, &ca_state)) {
    // CLOSE_WAIT: the peer has only finished sending. It still reads its answers; the stream
    // layer reads the end of its input and the connection closes once they are written.
    if (tcp_state != TCP_ESTABLISHED && tcp_state != TCP_CLOSE_WAIT) {
      if (log())
        std::cerr << "connection from " << peer() << " closed: tcp socket change state."
                  << std::endl;
      healthy = false;
    }
    if (check_state_ == CheckState::CheckConnection) {
      if (ca_state == TCP_CA_Open) {
        check_state_ = CheckState::Idle;
        SetupKeepAlive(false);
        if (log()) std::cerr << "CheckConnectionState Idle" << std::endl;
      } else if (countdown_ > 0 && --countdown_ <= 0) {
        if (log())
          std::cerr << "connection from " << peer() << " closed: tcp socket change ca_state."
                    << std::endl;
        healthy = false;
      }
    }
  }
  int error = 0;
  if (!calls().pending_error(fd, &error)) error = errno;
  if (error != 0) {
    if (log())
      std::cerr << "connection from " << peer() << " closed: " << std::strerror(error)
                << std::endl;
    healthy = false;
  }
  return healthy;
}

void AcceptorNetCheckConnection::CheckConnection() {
  check_timer_.set(check_interval_ms, &AcceptorNetCheckConnection::OnCheckConnectionTimeout,
                   this);
  if (state() != State::Connected || ConnectionHealthy()) return;
  check_state_ = CheckState::Idle;
  SetupKeepAlive(false);
  Disconnect();
  if (log()) std::cerr << "CheckConnectionState Idle" << std::endl;
}

void AcceptorNetCheckConnection::OnCheckConnectionTimeout(Timer*) { CheckConnection(); }

}  // namespace Control
