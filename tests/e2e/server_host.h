// An in-process daemon for the black-box tests: `ctrlServer` with the heartbeat and two test
// services, on a control acceptor listening on a free port, its event loop on a thread of its
// own and its clock in the tests' hand (Mux::TestClock). The tests reach it only over TCP through
// the test controller, and reach into it only through call(), which runs code on the loop thread.
//
// The services, bound after HeartBeatCtl in this order:
//   ScriptService takes
//     query       sends the signal activated (with the command's slot), then answers success;
//     userData    sends the octets back as the signal userData, then answers success;
//     connect     answers error invalidSlot;
//     destroy     answers later: a success with seq and slot from a deferred call;
//     deactivate  answers nothing;
//   and declines every other command.
//   ObserverService takes nothing and writes down the names of the signals it is shown.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/event.h"
#include "base/fd.h"

class ServerHost {
 public:
  // Bounds every wait of the tests on the daemon.
  static constexpr int wait_ms = 5000;

  // The host, started at first use.
  static ServerHost& instance();

  unsigned short port() const { return port_; }
  // Runs `f` on the loop thread; false when the loop did not run it within wait_ms.
  bool call(const std::function<void()>& f);
  // Waits, within wait_ms, until no controller is attached.
  bool wait_disconnected();
  // The signals the observer has been shown, cleared.
  std::vector<std::string> take_observed();
  // Ends the loop and deactivates the server.
  void stop();

 private:
  ServerHost();
  void OnWake(int fd, short revents);

  unsigned short port_ = 0;
  Event wake_;
  Fd wake_write_;
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  std::thread thread_;
};
