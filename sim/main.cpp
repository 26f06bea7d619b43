// orvex-boardsim --root DIR: the simulated board. Makes the board's tree and device sockets
// under DIR, prints "ready" on stdout, and serves the device seam and the control socket
// DIR/sim.ctl until SIGTERM or SIGINT, which remove its sockets and end it. A root that another
// board still serves is left alone: exit status 3.
#include <csignal>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

#include "sim/board.h"
#include "sim/control.h"
#include "sim/event_loop.h"
#include "sim/models.h"
#include "sim/root_lock.h"
#include "sim/unique_fd.h"

namespace {

int usage() {
  std::cerr << "usage: orvex-boardsim --root DIR" << std::endl;
  return 2;
}

constexpr int kRootServed = 3;

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (arg.rfind("--root=", 0) == 0) {
      root = arg.substr(7);
    } else {
      return usage();
    }
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.empty()) return usage();

  RootLock lock(root);
  switch (lock.take()) {
    case RootLock::kTaken:
      break;
    case RootLock::kServed:
      std::cerr << "boardsim: " << root << " is served by another board (pid " << lock.holder()
                << "); not started, its sockets are left as they are" << std::endl;
      return kRootServed;
    case RootLock::kFailed:
      std::cerr << "boardsim: " << lock.path() << ": " << std::strerror(errno) << std::endl;
      return 1;
  }

  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  UniqueFd signals(::signalfd(-1, &stop_signals, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!signals) {
    std::cerr << "boardsim: signalfd: " << std::strerror(errno) << std::endl;
    return 1;
  }

  EventLoop loop;
  bool stop = false;
  loop.watch(signals.get(), POLLIN, [&stop](short) { stop = true; });
  Board board(loop, root);
  if (!board.create(make_device_models())) return 1;
  Control control(loop, root + "/sim.ctl", [&board](const Words& words) {
    board.settle();
    return board.command(words);
  });
  if (!control.open()) {
    std::cerr << "boardsim: " << root << "/sim.ctl: " << std::strerror(errno) << std::endl;
    return 1;
  }
  std::cout << "ready" << std::endl;
  while (!stop) {
    if (!loop.run_once(-1)) {
      std::cerr << "boardsim: poll: " << std::strerror(errno) << std::endl;
      return 1;
    }
  }
  return 0;
}
