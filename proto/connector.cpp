#include "proto/connector.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {

template <class Flavour>
Connector<Flavour>::Connector(const char* event_name, const Texts& texts) : texts_(texts) {
  event_.Bind(event_name, &Connector::OnSocketEvent, this);
}

template <class Flavour>
Connector<Flavour>::~Connector() = default;

template <class Flavour>
bool Connector<Flavour>::ImplActivate() {
  retries_ = quick_retries;
  TryConnect();
  return true;
}

template <class Flavour>
void Connector<Flavour>::ImplDeactivate() {
  this->Release();
  connecting_.close();
  retry_timer_.reset();
  event_.Release();
}

template <class Flavour>
void Connector<Flavour>::ImplOnDisconnect() {
  retry_timer_.set(reconnect_ms, &Connector::OnTimeout, this);
}

template <class Flavour>
void Connector<Flavour>::OnTimeout(Timer*) {
  TryConnect();
}

template <class Flavour>
void Connector<Flavour>::ScheduleRetry(unsigned delay) {
  if (retries_ > 0) {
    --retries_;
    delay = quick_retry_ms;
  }
  retry_timer_.set(delay, &Connector::OnTimeout, this);
}

template <class Flavour>
void Connector<Flavour>::TryConnect() {
  event_.Release();
  connecting_.close();
  connecting_ = NewSocket();
  if (!connecting_) {
    std::cerr << "can't create " << texts_.socket << ":" << std::strerror(errno) << std::endl;
    this->Deactivate();
    return;
  }
  if (!connecting_.NonBlock()) {
    std::cerr << "can't set " << texts_.socket << " to non block mode: " << std::strerror(errno)
              << std::endl;
    this->Deactivate();
    return;
  }
  Prepare(connecting_.get());
  Peer to;
  Target(&to);
  if (ConnectTo(connecting_.get(), to) == 0) {
    std::clog << texts_.connected_at_once << to << std::endl;
    Attach(to);
  } else if (errno == EINPROGRESS) {
    event_.Schedule(connecting_, POLLOUT);
  } else {
    std::cerr << "can't connect to " << to << " : " << std::strerror(errno) << std::endl;
    connecting_.close();
    ScheduleRetry(connect_error_ms);
  }
}

template <class Flavour>
void Connector<Flavour>::OnSocketEvent(int, short events) {
  Peer to;
  Target(&to);
  if (events & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << to << std::endl;
    event_.Release();
    connecting_.close();
    ScheduleRetry(hangup_ms);
  } else if (events & POLLOUT) {
    event_.Release();
    int error = 0;
    if (!PendingError(connecting_.get(), &error)) {
      std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << std::strerror(errno) << std::endl;
      this->Deactivate();
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

template <class Flavour>
void Connector<Flavour>::Attach(const Peer& to) {
  retry_timer_.reset();
  const Fd socket(std::move(connecting_));
  this->Connected(socket, to);
}

template class Connector<ServiceNet>;
template class Connector<ServiceUnix>;

}  // namespace Control
