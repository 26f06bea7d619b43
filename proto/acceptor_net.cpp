#include "proto/acceptor_net.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {

AcceptorNet::AcceptorNet(int port) : port_(static_cast<unsigned short>(port)) {
  event_.Bind("AcceptorNet::OnSocketEvent", &AcceptorNet::OnSocketEvent, this);
}

AcceptorNet::AcceptorNet(int port, bool log) : AcceptorNet(port) { set_log(log); }

AcceptorNet::~AcceptorNet() = default;

unsigned short AcceptorNet::local_port() const { return LocalPort(listen_); }

bool AcceptorNet::ImplActivate() {
  if (!CreateSocket()) return false;
  BindSocket();
  return true;
}

bool AcceptorNet::CreateSocket() {
  listen_.close();
  listen_ = calls().tcp_socket();
  if (!listen_) {
    if (log()) std::cerr << "can't create socket:" << std::strerror(errno) << std::endl;
    return false;
  }
  const int on = 1;
  ::setsockopt(listen_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  return true;
}

void AcceptorNet::BindSocket() {
  INet4::Addr any;
  any.in().sin_port = htons(port_);
  any.in().sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(listen_.get(), any.sa(), INet4::Addr::size) != 0) {
    if (log())
      std::cerr << "can't bind to socket: \"" << std::strerror(errno) << "\"  waiting..."
                << std::endl;
    RetryLater();
  } else if (::listen(listen_.get(), 1) != 0) {
    if (log()) std::cerr << "can't listen socket: " << std::strerror(errno) << std::endl;
    Deactivate();
  } else if (!listen_.NonBlock()) {
    if (log())
      std::cerr << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
    Deactivate();
  } else {
    event_.Schedule(listen_, POLLIN);
  }
}

void AcceptorNet::RetryLater() { retry_timer_.set(bind_retry_ms, &AcceptorNet::OnTimeout, this); }

void AcceptorNet::OnTimeout(Timer*) {
  if (!listen_ && !CreateSocket()) {
    RetryLater();
    return;
  }
  BindSocket();
}

void AcceptorNet::ImplDeactivate() {
  retry_timer_.reset();
  event_.Release();
  listen_.close();
}

void AcceptorNet::OnSocketEvent(int, short events) {
  if (!(events & POLLIN)) return;
  while (AcceptOne()) {
  }
}

bool AcceptorNet::AcceptOne() {
  INet4::Addr from;
  Fd peer = calls().accept(listen_.get(), &from);
  if (!peer) {
    const int err = errno;
    if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
      // The peer stays queued and the socket readable: stop polling it for a while rather
      // than spin.
      if (log())
        std::cerr << "can't accept connection: " << std::strerror(err) << "  waiting..."
                  << std::endl;
      event_.Release();
      retry_timer_.set(accept_backoff_ms, &AcceptorNet::OnAcceptResume, this);
    }
    return false;
  }
  if (state() == State::Connected || state() == State::Deactivating) {
    if (log()) std::cerr << "refuse connection from " << from << std::endl;
    if (state() == State::Connected) ImplRefuseConnection();
    return true;
  }
  if (!peer.NonBlock()) {
    if (log())
      std::cerr << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
    return true;
  }
  if (log()) std::cout << "new connection from " << from << std::endl;
  ImplConnected(peer);
  // The sink hears of the peer here and may do anything, the acceptor's end included: further
  // peers wait for the next turn of the loop.
  Connected(peer, from);
  return false;
}

void AcceptorNet::OnAcceptResume() {
  if (listen_) event_.Schedule(listen_, POLLIN);
}

}  // namespace Control
