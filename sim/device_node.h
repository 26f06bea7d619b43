// DeviceNode: one simulated device in the tree, e.g. DIR/dev/hal. It owns the device's
// listening socket (present while the device is plugged), answers opens there with a new
// Session, keeps the open sessions by inode, the request log and the failures queued by the
// control socket, and passes what remains to the device's model.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/listener.h"
#include "sim/request_log.h"
#include "sim/session.h"
#include "sim/unique_fd.h"

class EventLoop;

class DeviceNode {
 public:
  // The device `model` at `path` (e.g. DIR/dev/hal); unplugged until plug().
  DeviceNode(EventLoop& loop, std::string path, std::unique_ptr<DeviceModel> model);
  ~DeviceNode();
  DeviceNode(const DeviceNode&) = delete;
  DeviceNode& operator=(const DeviceNode&) = delete;

  const std::string& name() const { return model_->name(); }
  DeviceModel& model() { return *model_; }
  RequestLog& log() { return log_; }

  // Creates the device's socket; false with errno on failure.
  bool plug();
  // Removes the socket, so that opens fail with ENOENT; the open sessions answer ENODEV.
  void unplug();
  bool plugged() const { return listener_.is_open(); }

  Session* session(uint64_t inode);
  size_t session_count() const { return sessions_.size(); }
  // Adds the simulator's end of every session to `fds`.
  void session_fds(std::vector<int>& fds) const;

  // The next open, or the next request `request`, fails with `error`. Queued in order.
  void fail_next_open(int error);
  void fail_next_request(uint32_t request, int error);
  // The daemon's writes fail with EPIPE: on every open session or, with none open, on the
  // next one opened.
  void refuse_writes();

  // A request on `session`: logged, then failed (gone, or a queued failure) or answered.
  IoctlResult ioctl(Session& session, IoctlCall& call);
  // A frame the daemon wrote on `session`.
  void deliver(Session& session, const std::string& frame);
  // The daemon closed `session`; it is destroyed.
  void end(Session& session);

 private:
  // The failure keys: request numbers, and the open.
  static constexpr uint64_t kOpenKey = uint64_t(1) << 32;

  void add_opening(UniqueFd connection);
  void answer_open(int connection, short revents);
  // 0, or the errno that refuses an open with `flags`.
  int open_error(int flags);
  int take_failure(uint64_t key);
  // A new session of open(2) `flags`; `theirs` gets the daemon's end. Null with `error` set
  // when the socket pair cannot be made.
  Session* start_session(int flags, UniqueFd& theirs, int32_t& error);
  void drop(Session& session);

  EventLoop& loop_;
  std::unique_ptr<DeviceModel> model_;
  Listener listener_;
  std::map<int, UniqueFd> opening_;  // connections waiting for their open request
  std::map<uint64_t, std::unique_ptr<Session>> sessions_;
  std::map<uint64_t, std::deque<int>> failures_;
  bool refuse_next_writes_ = false;
  RequestLog log_;
};
