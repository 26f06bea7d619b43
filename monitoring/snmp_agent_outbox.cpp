#include "monitoring/snmp_agent_outbox.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/mux_clock.h"
#include "proto/tpkt.h"

SnmpAgentOutbox::SnmpAgentOutbox(std::function<void()> failed, std::function<void()> caught_up,
                                 std::function<void()> pinged)
    : failed_(std::move(failed)), caught_up_(std::move(caught_up)), pinged_(std::move(pinged)) {
  event_.Bind("SnmpAgentOutbox::OnWritable", &SnmpAgentOutbox::OnWritable, this);
}

void SnmpAgentOutbox::Attach(const Fd& socket) {
  Detach();
  socket_ = socket;
  // What the agent has not read waits here, where it is bounded and seen, rather than in a send
  // buffer the kernel would grow to megabytes: a ping is then written only shortly before the
  // agent can read it.
  const int size = kSocketBuffer;
  if (::setsockopt(socket_.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0)
    std::cerr << "snmpagent: send buffer size: " << std::strerror(errno) << std::endl;
}

void SnmpAgentOutbox::Detach() {
  event_.Release();
  socket_.close();
  frames_.clear();
  offset_ = 0;
  queued_ = 0;
  whole_ = 0;
  missed_ = false;
}

int32_t SnmpAgentOutbox::stalled_ms(uint32_t now) const {
  return frames_.empty() ? 0 : int32_t(now - progress_);
}

bool SnmpAgentOutbox::Push(const char* payload, size_t length, Kind kind) {
  const size_t size = length + Tpkt_protocol::header_size;
  const bool over = kind == kUpdate && queued_ - whole_ + size > kBound;
  if (!socket_ || over || length > Tpkt_protocol::max_payload) {
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
  frames_.push_back({std::move(frame), kind});
  queued_ += size;
  if (kind == kWhole) whole_ += size;
  // Behind frames that wait, the socket is full: the next writable event takes it.
  if (frames_.size() == 1) {
    progress_ = Mux::milliseconds();
    Flush();
  }
  return true;
}

void SnmpAgentOutbox::Flush() {
  while (!frames_.empty()) {
    const Frame& frame = frames_.front();
    const ssize_t n = ::send(socket_.get(), frame.bytes.data() + offset_,
                             frame.bytes.size() - offset_, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0) {
      Detach();
      if (failed_) failed_();
      return;
    }
    if (n > 0) progress_ = Mux::milliseconds();
    offset_ += static_cast<size_t>(n);
    queued_ -= static_cast<size_t>(n);
    if (frame.kind == kWhole) whole_ -= static_cast<size_t>(n);
    if (offset_ < frame.bytes.size()) break;
    const bool ping = frame.kind == kPing;
    frames_.pop_front();
    offset_ = 0;
    if (ping && pinged_) pinged_();
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
