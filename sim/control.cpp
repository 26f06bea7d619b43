#include "sim/control.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

#include "sim/event_loop.h"

Control::Control(EventLoop& loop, std::string path, Handler handler)
    : loop_(loop),
      handler_(std::move(handler)),
      listener_(loop, std::move(path), SOCK_STREAM,
                [this](UniqueFd fd) { add_client(std::move(fd)); }) {}

Control::~Control() {
  for (auto& [fd, client] : clients_) loop_.unwatch(fd);
}

void Control::add_client(UniqueFd fd) {
  int n = fd.get();
  loop_.watch(n, POLLIN, [this, n](short revents) { serve(n, revents); });
  clients_[n].fd = std::move(fd);
}

void Control::serve(int fd, short revents) {
  Client& client = clients_[fd];
  bool alive = true;
  if (!client.ended && (revents & (POLLIN | POLLHUP | POLLERR))) alive = read_lines(client);
  if (alive) alive = flush(client);
  if (!alive || (client.ended && client.output.empty())) drop(fd);
}

bool Control::read_lines(Client& client) {
  char buffer[16384];
  ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  if (n == 0) {
    client.ended = true;
    return true;
  }
  for (ssize_t i = 0; i < n; ++i) {
    char c = buffer[i];
    if (c == '\n') {
      if (client.overlong) {
        client.output += "error: line longer than " + std::to_string(kMaxLine) + " bytes\n";
      } else {
        answer(client, std::move(client.input));
      }
      client.input.clear();
      client.overlong = false;
    } else if (client.input.size() < kMaxLine) {
      client.input += c;
    } else {
      client.overlong = true;
    }
  }
  return client.output.size() <= kMaxPending;
}

void Control::answer(Client& client, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  Words words = split_words(line);
  Reply reply = words.empty() ? Reply::error("empty command") : handler_(words);
  for (const std::string& l : reply.lines) client.output += l + "\n";
  if (reply.list) client.output += ".\n";
}

bool Control::flush(Client& client) {
  while (!client.output.empty()) {
    ssize_t n = ::send(client.fd.get(), client.output.data(), client.output.size(),
                       MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return false;
      break;
    }
    client.output.erase(0, n);
  }
  short events = client.ended ? 0 : POLLIN;
  if (!client.output.empty()) events |= POLLOUT;
  loop_.set_events(client.fd.get(), events);
  return true;
}

void Control::drop(int fd) {
  loop_.unwatch(fd);
  clients_.erase(fd);
}
