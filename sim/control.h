// Control: the control socket DIR/sim.ctl, a UNIX stream socket speaking a line protocol. Each
// line is one command; each gets one reply line, or several lines ended by a line ".". Any
// number of clients may be connected. A line longer than kMaxLine is answered with an error
// once its end arrives; nothing a client sends can stop the simulator.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "sim/command.h"
#include "sim/listener.h"
#include "sim/unique_fd.h"

class EventLoop;

class Control {
 public:
  static constexpr size_t kMaxLine = 4096;
  // A client that lets more than this many reply bytes pile up unread is dropped.
  static constexpr size_t kMaxPending = 64 * 1024 * 1024;

  using Handler = std::function<Reply(const Words& words)>;

  // `handler` answers every non-empty command.
  Control(EventLoop& loop, std::string path, Handler handler);
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Creates the socket; false with errno on failure.
  bool open() { return listener_.open(); }

 private:
  struct Client {
    UniqueFd fd;
    std::string input;
    std::string output;
    bool overlong = false;  // the current line passed kMaxLine and is being skipped
    bool ended = false;     // the client sends no more; it goes once its replies are out
  };

  void add_client(UniqueFd fd);
  void serve(int fd, short revents);
  // Reads what the client sent and answers its complete lines; false when it is gone.
  bool read_lines(Client& client);
  void answer(Client& client, std::string line);
  bool flush(Client& client);
  void drop(int fd);

  EventLoop& loop_;
  Handler handler_;
  Listener listener_;
  std::map<int, Client> clients_;
};
