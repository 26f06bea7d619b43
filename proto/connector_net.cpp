#include "proto/connector_net.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {

ConnectorNet::ConnectorNet(const std::string& host, unsigned short port)
    : port_(port), host_(host) {
  event_.Bind("ConnectorNet::OnSocketEvent", &ConnectorNet::OnSocketEvent, this);
}

ConnectorNet::~ConnectorNet() = default;

bool ConnectorNet::PeerAddress(INet4::Addr* to) const {
  to->Reset();
  to->in().sin_port = htons(port_);
  return to->Assign(host_);
}

bool ConnectorNet::ImplActivate() {
  INet4::Addr to;
  if (!PeerAddress(&to)) {
    std::cerr << "can't connect to \"" << host_ << "\": not a dotted address" << std::endl;
    return false;
  }
  retries_ = quick_retries;
  TryConnect();
  return true;
}

void ConnectorNet::ImplDeactivate() {
  Release();
  connecting_.close();
  retry_timer_.reset();
  event_.Release();
}

void ConnectorNet::ImplOnDisconnect() {
  retry_timer_.set(reconnect_ms, &ConnectorNet::OnTimeout, this);
}

void ConnectorNet::OnTimeout(Timer*) { TryConnect(); }

void ConnectorNet::ScheduleRetry(unsigned delay) {
  if (retries_ > 0) {
    --retries_;
    delay = quick_retry_ms;
  }
  retry_timer_.set(delay, &ConnectorNet::OnTimeout, this);
}

void ConnectorNet::TryConnect() {
  event_.Release();
  connecting_.close();
  connecting_ = calls().tcp_socket();
  if (!connecting_) {
    std::cerr << "can't create socket:" << std::strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  if (!connecting_.NonBlock()) {
    std::cerr << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  INet4::Addr to;
  PeerAddress(&to);
  if (calls().connect(connecting_.get(), to) == 0) {
    std::clog << "already connected to " << to << std::endl;
    Attach(to);
  } else if (errno == EINPROGRESS) {
    event_.Schedule(connecting_, POLLOUT);
  } else {
    std::cerr << "can't connect to " << to << " : " << std::strerror(errno) << std::endl;
    connecting_.close();
    ScheduleRetry(connect_error_ms);
  }
}

void ConnectorNet::OnSocketEvent(int, short events) {
  INet4::Addr to;
  PeerAddress(&to);
  if (events & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << to << std::endl;
    event_.Release();
    connecting_.close();
    ScheduleRetry(hangup_ms);
  } else if (events & POLLOUT) {
    event_.Release();
    int error = 0;
    if (!calls().pending_error(connecting_.get(), &error)) {
      std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << std::strerror(errno) << std::endl;
      Deactivate();
    } else if (error == 0) {
      std::cout << "connected to " << to << "." << std::endl;
      Attach(to);
    } else {
      std::cerr << "fail to connect to " << to << std::endl;
      connecting_.close();
      ScheduleRetry(socket_error_ms);
    }
  }
}

void ConnectorNet::Attach(const INet4::Addr& to) {
  retry_timer_.reset();
  const Fd socket(std::move(connecting_));
  Connected(socket, to);
}

}  // namespace Control
