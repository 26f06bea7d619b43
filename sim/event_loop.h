// EventLoop: the simulator's single-threaded poll(2) loop. Each watched descriptor has one
// handler, called with the events poll reported. A handler may watch, re-arm and unwatch any
// descriptor, its own included: every ready descriptor is looked up again before its handler
// runs, so one unwatched (or replaced) during the turn is skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class EventLoop {
 public:
  using Handler = std::function<void(short revents)>;

  void watch(int fd, short events, Handler handler);
  void set_events(int fd, short events);
  void unwatch(int fd);

  // One poll(2) over every descriptor for at most `timeout_ms` (-1: no limit), then the handlers
  // of those ready. False when poll failed other than by EINTR.
  bool run_once(int timeout_ms);
  // The same, without waiting, over `fds` only.
  void run_ready(const std::vector<int>& fds);

 private:
  struct Watch {
    short events;
    uint64_t id;
    Handler handler;
  };

  bool dispatch(std::vector<int> fds, int timeout_ms);

  std::map<int, Watch> watches_;
  uint64_t next_id_ = 1;
};

// Milliseconds on CLOCK_MONOTONIC since the simulator started.
uint64_t now_ms();
