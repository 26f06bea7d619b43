#include "proto/tpkt_tracer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <iostream>
#include <iterator>

#include "base/inet4_addr.h"
#include "proto/socket_calls.h"

TPKTTracer::TPKTTracer() : current_(connections_.end()) {}

TPKTTracer::~TPKTTracer() = default;

bool TPKTTracer::Listen(unsigned short port) {
  Fd s = Control::SocketCalls::system().tcp_socket();
  INet4::Addr any;
  any.in().sin_port = htons(port);
  any.in().sin_addr.s_addr = htonl(INADDR_ANY);
  if (!s || ::bind(s.get(), any.sa(), INet4::Addr::size) != 0 || ::listen(s.get(), 1) != 0 ||
      !s.NonBlock())
    return false;
  listen_event_.Bind("TPKTTracer::OnEvent", &TPKTTracer::OnEvent, this);
  listen_event_.Schedule(std::move(s), POLLIN);
  return true;
}

unsigned short TPKTTracer::local_port() const { return Control::LocalPort(listen_event_.fd()); }

void TPKTTracer::OnEvent(int socket, short events) {
  if (!(events & POLLIN)) return;
  for (;;) {
    INet4::Addr from;
    Fd client = Control::SocketCalls::system().accept(socket, &from);
    if (!client) return;
    std::clog << "ACP connection open from " << from << std::endl;
    if (!client.NonBlock()) continue;
    connections_.emplace_back(new Connection);
    Event& e = connections_.back()->event;
    e.Bind("TPKTTracer::OnDataEvent", &TPKTTracer::OnDataEvent, this);
    e.Schedule(std::move(client), POLLIN);
  }
}

void TPKTTracer::OnDataEvent(int socket, short events) {
  if (!(events & (POLLIN | POLLERR | POLLHUP))) return;
  current_ = FindConnection(socket);
  if (current_ == connections_.end()) return;
  if (events & (POLLERR | POLLHUP) || !ReadConnection(**current_)) {
    if (current_ != connections_.end()) CloseConnection(current_);
  }
  current_ = connections_.end();
}

bool TPKTTracer::ReadConnection(Connection& c) {
  for (;;) {
    ssize_t n = ::recv(c.event.fd().get(), c.buffer + c.received, c.expected - c.received,
                       MSG_NOSIGNAL);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    c.received += static_cast<unsigned>(n);
    if (c.received < c.expected) return true;
    c.received = 0;
    if (!c.reading_header) {
      const unsigned body = c.expected;
      c.reading_header = true;
      c.expected = header_size;
      if (receiver_) {
        // The receiver may answer, and a failed answer closes this connection.
        receiver_->OnMessage(c.buffer, body);
        if (current_ == connections_.end()) return true;
      }
      continue;
    }
    const unsigned char* h = reinterpret_cast<const unsigned char*>(c.buffer);
    if (h[0] != 3 || h[1] != 0) return false;
    const unsigned length = unsigned(h[2]) << 8 | h[3];
    if (length < header_size || length > header_size + max_body) return false;
    if (length > header_size) {
      c.reading_header = false;
      c.expected = length - header_size;
    }
  }
}

TPKTTracer::Connections::iterator TPKTTracer::FindConnection(int socket) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it)
    if ((*it)->event.fd().get() == socket) return it;
  return connections_.end();
}

void TPKTTracer::CloseConnection(Connections::iterator position) {
  if (position == current_) current_ = connections_.end();
  connections_.erase(position);
}

void TPKTTracer::Send(const void* data, unsigned length) {
  if (length > max_message) {
    std::cerr << "TPKTTracer: message of " << length << " bytes refused: at most " << max_message
              << " fit in a frame." << std::endl;
    return;
  }
  const unsigned total = length + header_size;
  const unsigned char header[header_size] = {3, 0, static_cast<unsigned char>(total >> 8),
                                             static_cast<unsigned char>(total)};
  if (current_ != connections_.end()) {
    if (!Write(**current_, header, data, length)) CloseConnection(current_);
    return;
  }
  for (auto it = connections_.begin(); it != connections_.end();) {
    auto next = std::next(it);
    if (!Write(**it, header, data, length)) CloseConnection(it);
    it = next;
  }
}

bool TPKTTracer::Write(const Connection& c, const unsigned char* header, const void* data,
                       unsigned length) {
  iovec pieces[2] = {{const_cast<unsigned char*>(header), header_size},
                     {const_cast<void*>(data), length}};
  msghdr msg{};
  msg.msg_iov = pieces;
  msg.msg_iovlen = 2;
  ssize_t n;
  do {
    n = ::sendmsg(c.event.fd().get(), &msg, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == ssize_t(length + header_size);
}
