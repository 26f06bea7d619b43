#include "sim/request_socket.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>

#include "base/device_wire.h"
#include "sim/event_loop.h"
#include "sim/unix_socket.h"

namespace {

using DeviceWire::IoctlReply;
using DeviceWire::IoctlRequest;

}  // namespace

RequestSocket::RequestSocket(EventLoop& loop, std::string path, Handler handler)
    : loop_(loop),
      handler_(std::move(handler)),
      listener_(loop, std::move(path), SOCK_SEQPACKET,
                [this](UniqueFd fd) { add_connection(std::move(fd)); }) {}

RequestSocket::~RequestSocket() {
  for (auto& [fd, connection] : connections_) loop_.unwatch(fd);
}

void RequestSocket::add_connection(UniqueFd connection) {
  int fd = connection.get();
  ucred peer{};
  socklen_t size = sizeof peer;
  peers_[fd] = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : 0;
  loop_.watch(fd, POLLIN, [this, fd](short revents) { serve(fd, revents); });
  connections_[fd] = std::move(connection);
}

void RequestSocket::serve(int connection, short revents) {
  // One request per wake-up: the seam waits for each answer before it sends the next, so a
  // second receive would only meet EAGAIN.
  std::vector<char>& message = message_;
  message.resize(sizeof(IoctlRequest) + DeviceWire::kMaxRecord);
  ssize_t n;
  do {
    n = ::recv(connection, message.data(), message.size(), MSG_DONTWAIT | MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno == EAGAIN && !(revents & (POLLHUP | POLLERR))) return;
  if (n <= 0 || !answer(connection, message, static_cast<size_t>(n))) close_connection(connection);
}

bool RequestSocket::answer(int connection, const std::vector<char>& message, size_t size) {
  IoctlReply reply{-1, EINVAL};
  IoctlCall call{};
  IoctlRequest request;
  if (size >= sizeof request && size <= message.size()) {
    std::memcpy(&request, message.data(), sizeof request);
    call.request = request.request;
    call.has_record = request.kind == DeviceWire::kRecord;
    call.value = request.value;
    call.pid = peers_[connection];
    call.bytes.assign(message.data() + sizeof request, size - sizeof request);
    bool well_formed =
        call.has_record || (request.kind == DeviceWire::kValue && call.bytes.empty());
    if (well_formed) {
      IoctlResult result = handler_(request.inode, call);
      reply = IoctlReply{result.result, result.result < 0 ? result.error : 0};
    }
  }
  // The record goes back only when the request was understood, as many bytes as were sent.
  std::string& answer = answer_;
  answer.assign(reinterpret_cast<const char*>(&reply), sizeof reply);
  if (call.has_record) answer += call.bytes;
  if (send_message(connection, answer.data(), answer.size()) >= 0) return true;
  std::cerr << "boardsim: .board: answer lost: " << std::strerror(errno) << std::endl;
  return false;
}

void RequestSocket::close_connection(int connection) {
  loop_.unwatch(connection);
  connections_.erase(connection);
  peers_.erase(connection);
}
