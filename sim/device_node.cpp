#include "sim/device_node.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "base/device_wire.h"
#include "sim/event_loop.h"
#include "sim/unix_socket.h"

DeviceNode::DeviceNode(EventLoop& loop, std::string path, std::unique_ptr<DeviceModel> model)
    : loop_(loop),
      model_(std::move(model)),
      listener_(loop, std::move(path), SOCK_SEQPACKET,
                [this](UniqueFd connection) { add_opening(std::move(connection)); }) {}

DeviceNode::~DeviceNode() {
  unplug();
  for (auto& [fd, connection] : opening_) loop_.unwatch(fd);
  model_->sessions_.clear();
}

bool DeviceNode::plug() { return listener_.open(); }

void DeviceNode::unplug() {
  if (!listener_.is_open()) return;
  listener_.close();
  for (auto& [inode, session] : sessions_) session->disconnect();
}

Session* DeviceNode::session(uint64_t inode) {
  auto it = sessions_.find(inode);
  return it == sessions_.end() ? nullptr : it->second.get();
}

void DeviceNode::session_fds(std::vector<int>& fds) const {
  for (const auto& [inode, session] : sessions_) fds.push_back(session->fd());
}

void DeviceNode::fail_next_open(int error) { failures_[kOpenKey].push_back(error); }

void DeviceNode::fail_next_request(uint32_t request, int error) {
  failures_[request].push_back(error);
}

void DeviceNode::refuse_writes() {
  if (sessions_.empty()) {
    refuse_next_writes_ = true;
    return;
  }
  for (auto& [inode, session] : sessions_) session->refuse_writes();
}

int DeviceNode::take_failure(uint64_t key) {
  auto it = failures_.find(key);
  if (it == failures_.end()) return 0;
  int error = it->second.front();
  it->second.pop_front();
  if (it->second.empty()) failures_.erase(it);
  return error;
}

IoctlResult DeviceNode::ioctl(Session& session, IoctlCall& call) {
  call.layout = model_->layout();
  log_.add(call);
  if (session.gone()) return {-1, ENODEV};
  if (int error = take_failure(call.request)) return {-1, error};
  size_t size = call.bytes.size();
  IoctlResult result = model_->on_ioctl(session, call);
  call.bytes.resize(size);
  return result;
}

void DeviceNode::deliver(Session& session, const std::string& frame) {
  if (!session.gone()) model_->on_write(session, frame);
}

void DeviceNode::end(Session& session) {
  model_->on_close(session);
  drop(session);
}

void DeviceNode::drop(Session& session) {
  uint64_t inode = session.inode();
  auto& list = model_->sessions_;
  list.erase(std::remove(list.begin(), list.end(), &session), list.end());
  sessions_.erase(inode);
}

void DeviceNode::add_opening(UniqueFd connection) {
  int fd = connection.get();
  loop_.watch(fd, POLLIN, [this, fd](short revents) { answer_open(fd, revents); });
  opening_[fd] = std::move(connection);
}

int DeviceNode::open_error(int flags) {
  if (!listener_.is_open()) return ENOENT;
  if (int error = take_failure(kOpenKey)) return error;
  return model_->accept_open(flags);
}

void DeviceNode::answer_open(int connection, short revents) {
  DeviceWire::OpenRequest request{};
  ssize_t n = ::recv(connection, &request, sizeof request, MSG_DONTWAIT | MSG_TRUNC);
  if (n < 0 && (errno == EAGAIN || errno == EINTR) && !(revents & (POLLHUP | POLLERR))) return;
  loop_.unwatch(connection);
  UniqueFd closing = std::move(opening_[connection]);
  opening_.erase(connection);
  if (n < 0) return;

  DeviceWire::OpenReply reply{EINVAL};
  if (n == static_cast<ssize_t>(sizeof request)) reply.error = open_error(int(request.flags));
  UniqueFd theirs;
  Session* session = nullptr;
  if (reply.error == 0) session = start_session(int(request.flags), theirs, reply.error);
  if (send_message(connection, &reply, sizeof reply, theirs.get()) >= 0) {
    if (session) model_->on_open(*session);
    return;
  }
  std::cerr << "boardsim: " << name() << ": open answer lost: " << std::strerror(errno)
            << std::endl;
  if (session) drop(*session);
}

Session* DeviceNode::start_session(int flags, UniqueFd& theirs, int32_t& error) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    error = errno;
    return nullptr;
  }
  UniqueFd ours(pair[0]);
  theirs.reset(pair[1]);
  struct stat st;
  if (!set_nonblocking(ours.get()) || ::fstat(theirs.get(), &st) != 0) {
    error = errno;
    theirs.reset();
    return nullptr;
  }
  auto session = std::make_unique<Session>(loop_, *this, std::move(ours), st.st_ino, flags);
  Session* s = session.get();
  sessions_[st.st_ino] = std::move(session);
  model_->sessions_.push_back(s);
  // Before the daemon has the descriptor, so that its first write already fails.
  if (refuse_next_writes_) {
    refuse_next_writes_ = false;
    s->refuse_writes();
  }
  return s;
}
