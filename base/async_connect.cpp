#include "base/async_connect.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "base/inet4_addr.h"

namespace ASync {

Connect::~Connect() { delete handler_; }

void Connect::Bind(Handler* handler) {
  Handler* old = handler_;
  handler_ = handler;
  if (old != handler) delete old;
}

void Connect::Start(const std::string& address, unsigned timeout) {
  event_.Release();
  event_.UnBind();
  timer_.reset();
  status_ = Status::Connecting;
  socket_ = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket_ || !socket_.NonBlock()) return Complete(Status::Failed);

  // A text that does not read as an address and a port must not become 0.0.0.0 (this host)
  // or port 0.
  INet4::Addr peer;
  int port = -1;
  if (!peer.Assign(address, &port) || port < 0 || port > 0xffff) return Complete(Status::Failed);

  if (::connect(socket_.get(), peer.sa(), INet4::Addr::size) == 0) return Complete(Status::Connected);
  if (errno != EINPROGRESS) return Complete(Status::Failed);
  event_.Schedule(socket_, POLLOUT);
  event_.Bind("Connect::OnSocketEvent", &Connect::OnSocketEvent, this);
  timer_.set(timeout, &Connect::OnTimeOut, this);
}

void Connect::Stop() { Complete(Status::Stopped); }

void Connect::OnTimeOut() { Complete(Status::Failed); }

void Connect::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) return Complete(Status::Failed);
  if (!(revents & POLLOUT)) return;
  int error = 0;
  socklen_t len = sizeof error;
  if (::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
    return Complete(Status::Failed);
  Complete(Status::Connected);
}

// The connection belongs to the handler from here on.
void Connect::Complete(Status::Type status) {
  if (status_ != Status::Connecting) return;
  status_ = status;
  Fd connected;
  if (status == Status::Connected) connected = std::move(socket_);
  socket_.close();
  event_.Release();
  event_.UnBind();
  timer_.reset();
  if (handler_) handler_->Invoke(status, std::move(connected));
}

}  // namespace ASync
