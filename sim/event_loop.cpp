#include "sim/event_loop.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

void EventLoop::watch(int fd, short events, Handler handler) {
  watches_[fd] = Watch{events, next_id_++, std::move(handler)};
}

void EventLoop::set_events(int fd, short events) {
  auto it = watches_.find(fd);
  if (it != watches_.end()) it->second.events = events;
}

void EventLoop::unwatch(int fd) { watches_.erase(fd); }

bool EventLoop::run_once(int timeout_ms) {
  std::vector<int> fds;
  fds.reserve(watches_.size());
  for (const auto& [fd, watch] : watches_) fds.push_back(fd);
  return dispatch(std::move(fds), timeout_ms);
}

void EventLoop::run_ready(const std::vector<int>& fds) { dispatch(fds, 0); }

bool EventLoop::dispatch(std::vector<int> fds, int timeout_ms) {
  std::vector<pollfd> polled;
  std::vector<uint64_t> ids;
  for (int fd : fds) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) continue;
    polled.push_back(pollfd{fd, it->second.events, 0});
    ids.push_back(it->second.id);
  }
  int n = ::poll(polled.data(), polled.size(), timeout_ms);
  if (n < 0) return errno == EINTR;
  for (size_t i = 0; i < polled.size() && n > 0; ++i) {
    if (!polled[i].revents) continue;
    --n;
    auto it = watches_.find(polled[i].fd);
    if (it == watches_.end() || it->second.id != ids[i]) continue;
    Handler handler = it->second.handler;  // the handler may unwatch itself
    handler(polled[i].revents);
  }
  return true;
}

namespace {

const std::chrono::steady_clock::time_point g_start = std::chrono::steady_clock::now();

}  // namespace

uint64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now() - g_start).count();
}
