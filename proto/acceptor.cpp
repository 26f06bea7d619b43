#include "proto/acceptor.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {

template <class Flavour>
Acceptor<Flavour>::Acceptor(const char* event_name)
    : refused_log_(std::cerr,
                   [this](std::ostream& os) { os << "refuse connection from " << refused_; }) {
  event_.Bind(event_name, &Acceptor::OnSocketEvent, this);
}

template <class Flavour>
Acceptor<Flavour>::~Acceptor() = default;

template <class Flavour>
bool Acceptor<Flavour>::ImplActivate() {
  if (!CreateSocket()) return false;
  BindSocket();
  return true;
}

template <class Flavour>
bool Acceptor<Flavour>::CreateSocket() {
  listen_.close();
  listen_ = NewSocket();
  if (listen_) return true;
  if (this->log()) std::cerr << "can't create socket:" << std::strerror(errno) << std::endl;
  return false;
}

template <class Flavour>
void Acceptor<Flavour>::BindSocket() {
  const bool log = this->log();
  if (BindAddress(listen_.get()) != 0) {
    if (log)
      std::cerr << "can't bind to socket: \"" << std::strerror(errno) << "\"  waiting..."
                << std::endl;
    RetryLater();
  } else if (::listen(listen_.get(), 1) != 0) {
    if (log) std::cerr << "can't listen socket: " << std::strerror(errno) << std::endl;
    this->Deactivate();
  } else if (!listen_.NonBlock()) {
    if (log)
      std::cerr << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
    this->Deactivate();
  } else {
    event_.Schedule(listen_, POLLIN);
  }
}

template <class Flavour>
void Acceptor<Flavour>::RetryLater() {
  retry_timer_.set(bind_retry_ms, &Acceptor::OnTimeout, this);
}

template <class Flavour>
void Acceptor<Flavour>::OnTimeout(Timer*) {
  if (!listen_ && !CreateSocket()) {
    RetryLater();
    return;
  }
  BindSocket();
}

template <class Flavour>
void Acceptor<Flavour>::ImplDeactivate() {
  refused_log_.flush();
  retry_timer_.reset();
  event_.Release();
  listen_.close();
}

template <class Flavour>
void Acceptor<Flavour>::OnSocketEvent(int, short events) {
  if (!(events & POLLIN)) return;
  while (AcceptOne()) {
  }
}

template <class Flavour>
bool Acceptor<Flavour>::Ending() const {
  using State = Service::State;
  if (this->state() == State::Deactivating) return true;
  if (this->state() != State::Connected) return false;
  pollfd live{this->socket().get(), POLLRDHUP, 0};
  return ::poll(&live, 1, 0) > 0 && (live.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

template <class Flavour>
bool Acceptor<Flavour>::AcceptOne() {
  using State = Service::State;
  const bool log = this->log();
  // A controller that closes and connects again at once is not refused: while its old
  // connection is ending, the newcomer waits in the backlog. The old connection reads what is
  // left and its end, the deferred disconnect follows, and the newcomer is attached a turn or
  // two later.
  if (Ending()) return false;
  Peer from{};
  Fd peer = AcceptPeer(listen_.get(), &from);
  if (!peer) {
    const int err = errno;
    if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
      // The peer stays queued and the socket readable: stop polling it for a while rather
      // than spin.
      if (log)
        std::cerr << "can't accept connection: " << std::strerror(err) << "  waiting..."
                  << std::endl;
      event_.Release();
      retry_timer_.set(accept_backoff_ms, &Acceptor::OnAcceptResume, this);
    }
    return false;
  }
  const State::Type state = this->state();
  if (state == State::Connected || state == State::Deactivating) {
    if (log) {
      refused_ = from;
      refused_log_.report();
    }
    if (state == State::Connected) ImplRefuseConnection();
    return true;
  }
  if (!peer.NonBlock()) {
    if (log)
      std::cerr << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
    return true;
  }
  if (log) std::cout << "new connection from " << from << std::endl;
  ImplConnected(peer);
  // The sink hears of the peer here and may do anything, the acceptor's end included: further
  // peers wait for the next turn of the loop.
  this->Connected(peer, from);
  return false;
}

template <class Flavour>
void Acceptor<Flavour>::OnAcceptResume() {
  if (listen_) event_.Schedule(listen_, POLLIN);
}

template class Acceptor<ServiceNet>;
template class Acceptor<ServiceUnix>;

}  // namespace Control
