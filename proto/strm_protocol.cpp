#include "proto/strm_protocol.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "base/ext_header.h"
#include "base/multiplexer.h"
#include "base/mux_clock.h"

StrmProtocol::StrmProtocol() {
  event_.Bind("StrmProtocol::on_event", &StrmProtocol::on_event, this);
}

StrmProtocol::StrmProtocol(const Fd& fd) : StrmProtocol() { attach(fd); }

StrmProtocol::~StrmProtocol() { release(); }

void StrmProtocol::attach(const Fd& fd) {
  if (&fd == &socket_) {
    event_.Release();
  } else {
    release();
    socket_ = fd;
  }
  if (!socket_) return;
  NonBlockMode(socket_.get());
  outq_reports_free_ = queue_ioctl(TIOCOUTQ) > 0;
}

void StrmProtocol::release() {
  held_ = false;
  input_ended_ = false;
  if (!socket_) return;
  event_.Release();
  socket_.close();
}

void StrmProtocol::local_activate() {
  if (!socket_) {
    on_deactivate(make_status<Protocol_status_error>(this, "fd not attached"));
    return;
  }
  event_.Schedule(socket_, wanted());
  on_activate();
}

void StrmProtocol::hold_input(bool hold) {
  held_ = hold;
  event_.set_events(wanted());
}

short StrmProtocol::wanted() const { return held_ || input_ended_ ? 0 : POLLIN; }

void StrmProtocol::local_deactivate() {
  release();
  on_deactivate(make_status<Protocol_status_success>(this, "success"));
}

void StrmProtocol::on_error(const std::string& text) {
  release();
  on_deactivate(make_status<Protocol_status_error>(this, text));
}

std::string StrmProtocol::pending_error_text() const {
  int err = int_option(SOL_SOCKET, SO_ERROR);
  return err > 0 ? std::strerror(err) : "connection closed by peer";
}

void StrmProtocol::on_event(int, short revents) {
  if (revents & POLLERR) {
    on_error("pollerr: " + pending_error_text());
  } else if (held_) {
    // Reading, and a hang-up behind the bytes still queued, wait until the layer above lets go.
  } else if (revents & POLLIN) {
    // Read before acting on POLLHUP: a peer that sends and then closes has its last bytes
    // delivered, and the close shows as end of stream on a later read.
    do_read();
  } else if (revents & POLLHUP) {
    on_error("pollhup: " + pending_error_text());
  }
}

void StrmProtocol::do_read() {
  Packet p;
  p.reserve_head(0);
  read_measure_.begin();
  ssize_t r = ::recv(socket_.get(), p->tail, p._tailroom(), MSG_DONTWAIT | MSG_NOSIGNAL);
  int err = errno;
  read_measure_.end();
  if (r < 0) {
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return;
    on_error(std::string("read error: ") + std::strerror(err));
  } else if (r == 0) {
    // A peer that only shut its sending side still reads: the owner decides when to close.
    // Errors and a hang-up are still polled for.
    input_ended_ = true;
    event_.set_events(wanted());
    on_status(make_status<Protocol_status_success>(this, "end of stream"));
  } else {
    p.put(static_cast<unsigned>(r));
    on_message(p);
  }
}

int StrmProtocol::wait_writable(int timeout_ms) {
  pollfd entry{socket_.get(), POLLOUT, 0};
  return ::poll(&entry, 1, timeout_ms);
}

void StrmProtocol::message(Packet& p) {
  p.passert(!p.is_null(), "null packet");
  p.prepare_for_modify();
  const unsigned char* data = p.get()->data;
  const size_t size = p.length();

  write_measure_.begin();
  const uint32_t deadline = Mux::milliseconds() + write_timeout_ms;
  size_t written = 0;
  while (written < size) {
    ssize_t r = ::send(socket_.get(), data + written, size - written,
                       MSG_DONTWAIT | MSG_NOSIGNAL);
    if (r >= 0) {
      written += static_cast<size_t>(r);
      continue;
    }
    int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN && err != EWOULDBLOCK) {
      write_failed("write error", std::string("write error: ") + std::strerror(err), err);
      return;
    }
    int32_t left = static_cast<int32_t>(deadline - Mux::milliseconds());
    if (left < 1) break;
    multiplexer.resetWD();
    int w = wait_writable(left);
    err = errno;
    multiplexer.resetWD();
    if (w != 1 && !(w < 0 && err == EINTR)) break;
  }
  if (written < size) {
    write_failed("write timeout", "write timeout", 0);
    return;
  }
  write_measure_.end();
}

void StrmProtocol::write_failed(const char* what, const std::string& status_text, int err) {
  write_measure_.end();
  std::cerr << ext::header(this) << what << ", sendbuf=" << sendbuf_space()
            << ", recvbuf=" << recvbuf_space() << ", free=" << free_space()
            << ", inq=" << inq_space() << ", outq=" << outq_space();
  if (err) std::cerr << ", error=" << std::strerror(err);
  std::cerr << std::endl;
  ++overflow_;
  on_error(status_text);
}

int StrmProtocol::int_option(int level, int name) const {
  int value = 0;
  socklen_t len = sizeof value;
  if (::getsockopt(socket_.get(), level, name, &value, &len) < 0) return -1;
  return value;
}

int StrmProtocol::queue_ioctl(unsigned long request) const {
  int value = 0;
  if (::ioctl(socket_.get(), request, &value) < 0) return -1;
  return value;
}

int StrmProtocol::sendbuf_space() const { return int_option(SOL_SOCKET, SO_SNDBUF); }

int StrmProtocol::recvbuf_space() const { return int_option(SOL_SOCKET, SO_RCVBUF); }

int StrmProtocol::inq_space() const { return queue_ioctl(FIONREAD); }

int StrmProtocol::outq_space() const { return queue_ioctl(TIOCOUTQ); }

int StrmProtocol::free_space() const {
  int outq = outq_space();
  if (outq_reports_free_ || outq < 0) return outq;
  int sndbuf = sendbuf_space();
  return sndbuf < 0 ? -1 : sndbuf - outq;
}

void StrmProtocol::PutHeader(std::ostream& os) const {
  os << "SockStream[" << service_name_ << "]: ";
}
