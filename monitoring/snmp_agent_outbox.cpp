#include "monitoring/snmp_agent_outbox.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "proto/tpkt.h"

SnmpAgentOutbox::SnmpAgentOutbox(std::function<void()> failed, std::function<void()> caught_up)
    : failed_(std::move(failed)), caught_up_(std::move(caught_up)) {
  event_.Bind("SnmpAgentOutbox::OnWritable", &SnmpAgentOutbox::OnWritable, this);
}

void SnmpAgentOutbox::Attach(const Fd& socket) {
  Detach();
  socket_ = socket;
}

void SnmpAgentOutbox::Detach() {
  event_.Release();
  socket_.close();
  frames_.clear();
  offset_ = 0;
  queued_ = 0;
  missed_ = false;
}

bool SnmpAgentOutbox::Push(const char* payload, size_t length) {
  const size_t size = length + Tpkt_protocol::header_size;
  if (!socket_ || queued_ + size > kBound || length > Tpkt_protocol::max_payload) {
    ++dropped_;
    // Reported once what waits is written (a frame within the bound is dropped only behind
    // others).
    if (!frames_.empty()) missed_ = true;
    return false;
  }
  std::string frame;
  frame.reserve(size);
  frame += '\x03';
  frame += '\x00';
  frame += static_cast<char>(size >> 8);
  frame += static_cast<char>(size & 0xFF);
  frame.append(payload, length);
  frames_.push_back(std::move(frame));
  queued_ += size;
  // Behind frames that wait, the socket is full: the next writable event takes it.
  if (frames_.size() == 1) Flush();
  return true;
}

void SnmpAgentOutbox::Flush() {
  while (!frames_.empty()) {
    const std::string& frame = frames_.front();
    const ssize_t n = ::send(socket_.get(), frame.data() + offset_, frame.size() - offset_,
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0) {
      Detach();
      if (failed_) failed_();
      return;
    }
    offset_ += static_cast<size_t>(n);
    queued_ -= static_cast<size_t>(n);
    if (offset_ < frame.size()) break;
    frames_.pop_front();
    offset_ = 0;
  }
  // Polled only while anything waits: a socket that has failed would wake every turn.
  if (!frames_.empty()) {
    if (!event_.fd()) event_.Schedule(socket_, POLLOUT);
    return;
  }
  event_.Release();
  if (missed_) {
    missed_ = false;
    if (caught_up_) caught_up_();
  }
}

void SnmpAgentOutbox::OnWritable(int, short revents) {
  if (revents & (POLLOUT | POLLERR | POLLHUP)) Flush();
}
