#include "sim/session.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

#include "sim/device_node.h"
#include "sim/event_loop.h"
#include "sim/unix_socket.h"

namespace {

// The largest frame the daemon may write; a longer one is cut to this.
constexpr size_t kMaxFrame = 65536;
// Frames read per wake-up, so that one busy session cannot starve the others.
constexpr int kFramesPerTurn = 64;

}  // namespace

Session::Session(EventLoop& loop, DeviceNode& node, UniqueFd end, uint64_t inode, int flags)
    : loop_(loop), node_(node), end_(std::move(end)), inode_(inode), flags_(flags) {
  loop_.watch(end_.get(), POLLIN, [this](short revents) { on_events(revents); });
}

Session::~Session() { loop_.unwatch(end_.get()); }

void Session::send(std::string record) {
  if (gone_) return;
  backlog_.push_back(std::move(record));
  flush();
}

void Session::disconnect() {
  gone_ = true;
  backlog_.clear();
  update_events();
}

void Session::refuse_writes() {
  ::shutdown(end_.get(), SHUT_RD);
  reading_ = false;
  update_events();
}

void Session::hold_frames(bool held) {
  held_ = held;
  update_events();
}

void Session::on_events(short revents) {
  if (revents & POLLOUT) flush();
  if (!read_frames(revents)) node_.end(*this);  // destroys this session
}

bool Session::read_frames(short revents) {
  bool hung_up = revents & (POLLHUP | POLLERR);
  if (!reading_ || held_) return !hung_up;
  static std::vector<char> buffer(kMaxFrame);
  for (int i = 0; i < kFramesPerTurn; ++i) {
    ssize_t n = ::recv(end_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return !hung_up;
      return false;  // ECONNRESET: closed with records unread
    }
    if (n == 0 && hung_up) return false;
    if (static_cast<size_t>(n) > buffer.size()) {
      std::cerr << "boardsim: " << node_.name() << ": frame of " << n << " bytes cut to "
                << buffer.size() << std::endl;
      n = buffer.size();
    }
    node_.deliver(*this, std::string(buffer.data(), n));
  }
  return true;
}

void Session::flush() {
  while (!backlog_.empty()) {
    const std::string& record = backlog_.front();
    if (send_message(end_.get(), record.data(), record.size()) < 0) {
      if (errno == EAGAIN) break;
      std::cerr << "boardsim: " << node_.name() << ": record dropped: " << std::strerror(errno)
                << std::endl;
    }
    backlog_.pop_front();
  }
  update_events();
}

void Session::update_events() {
  short events = (reading_ && !held_ ? POLLIN : 0) | (backlog_.empty() ? 0 : POLLOUT);
  loop_.set_events(end_.get(), events);
}
