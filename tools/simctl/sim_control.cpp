#include "tools/simctl/sim_control.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

using Clock = std::chrono::steady_clock;

int ms_until(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

bool readable_until(int fd, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, ms_until(deadline));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

bool SimControl::connect(const std::string& path) {
  close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error_ = path + ": path too long";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  socket_ = Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket_ ||
      ::connect(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error_ = path + ": " + std::strerror(errno);
    socket_.close();
    return false;
  }
  return true;
}

void SimControl::close() {
  socket_.close();
  input_.clear();
}

std::vector<std::string> SimControl::lost(const std::string& why) {
  close();
  error_ = why;
  return {"error: " + why};
}

std::vector<std::string> SimControl::command(const std::string& line, int timeout_ms) {
  if (!socket_) return {"error: no simulator"};
  // A ping with a fresh word follows the command: its answer marks the end of the reply,
  // whether that was one line or a list.
  const std::string marker = "simctl-" + std::to_string(++sequence_);
  const std::string text = line + "\nping " + marker + "\n";
  for (size_t sent = 0; sent < text.size();) {
    ssize_t n = ::send(socket_.get(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return lost(std::strerror(errno));
    sent += n;
  }
  std::vector<std::string> reply;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    size_t end = input_.find('\n');
    if (end != std::string::npos) {
      std::string received = input_.substr(0, end);
      input_.erase(0, end + 1);
      if (received == "ok " + marker) break;
      reply.push_back(std::move(received));
      continue;
    }
    char buffer[65536];
    ssize_t n = -1;
    if (readable_until(socket_.get(), deadline)) {
      n = ::recv(socket_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    }
    if (n <= 0) return lost("the simulator did not answer");
    input_.append(buffer, n);
  }
  if (!reply.empty() && reply.back() == ".") reply.pop_back();
  return reply;
}
