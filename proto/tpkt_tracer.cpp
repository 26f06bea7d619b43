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

TPKTTracer::FrameReader::Step TPKTTracer::FrameReader::took(unsigned n) {
  received_ += n;
  if (received_ < expected_) return Step::more;
  received_ = 0;
  if (!reading_header_) {
    body_length_ = expected_;
    reading_header_ = true;
    expected_ = header_size;
    return Step::body;
  }
  // RFC 1006 section 6: version 3, a reserved zero, then the length with the header counted.
  const unsigned char* h = reinterpret_cast<const unsigned char*>(buffer_);
  if (h[0] != 3 || h[1] != 0) return Step::bad;
  const unsigned length = unsigned(h[2]) << 8 | h[3];
  if (length < header_size || length > header_size + max_body) return Step::bad;
  if (length > header_size) {
    reading_header_ = false;
    expected_ = length - header_size;
  }
  return Step::more;
}

bool TPKTTracer::ReadConnection(Connection& c) {
  for (;;) {
    ssize_t n = ::recv(c.event.fd().get(), c.reader.space(), c.reader.room(), MSG_NOSIGNAL);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    const unsigned got = static_cast<unsigned>(n);
    const bool whole = got == c.reader.room();
    switch (c.reader.took(got)) {
      case FrameReader::Step::bad:
        return false;
      case FrameReader::Step::body:
        if (receiver_) {
          // The receiver may answer, and a failed answer closes this connection.
          receiver_->OnMessage(c.reader.body(), c.reader.body_length());
          if (current_ == connections_.end()) return true;
        }
        break;
      case FrameReader::Step::more:
        // The rest of the piece comes with a later event.
        if (!whole) return true;
        break;
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
