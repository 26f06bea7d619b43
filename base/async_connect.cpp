#include "base/async_connect.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "base/inet4_addr.h"

namespace ASync {

namespace {

// Reads "a.b.c.d:port" strictly: four decimal parts, a colon, and only decimal digits up to a
// port of 1 to 65535. Shorter forms ("127.1", "0") and 0.0.0.0 are refused: connect() would
// take each of them to this host.
bool read_peer(const std::string& text, INet4::Addr& peer) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  in_addr address{};
  if (::inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) != 1) return false;
  if (address.s_addr == htonl(INADDR_ANY)) return false;
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return false;
  unsigned long port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + unsigned(c - '0');
  }
  if (port == 0 || port > 0xffff) return false;
  peer.Assign(address.s_addr);
  peer.in().sin_port = htons(uint16_t(port));
  return true;
}

}  // namespace

Connect::~Connect() { delete handler_; }

void Connect::Bind(Handler* handler) {
  Handler* old = handler_;
  handler_ = handler;
  if (old != handler) delete old;
}

bool Connect::Addressable(const std::string& address) {
  INet4::Addr peer;
  return read_peer(address, peer);
}

void Connect::Start(const std::string& address, unsigned timeout) {
  event_.Release();
  event_.UnBind();
  timer_.reset();
  status_ = Status::Connecting;
  socket_ = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket_ || !socket_.NonBlock()) return Complete(Status::Failed);

  INet4::Addr peer;
  if (!read_peer(address, peer)) return Complete(Status::Failed);

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
