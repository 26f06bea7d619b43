// ASync::Connect: a TCP connect that does not block the loop, with a time limit, reporting its
// end once to a bound handler.
//
// Start("a.b.c.d:port", timeout_ms) opens a non-blocking socket and connects; the handler gets
// Connected with the connected socket (its own descriptor), or Failed (refused, error, time
// limit, or an address text that is not exactly "a.b.c.d:port" with a port of 1 to 65535, or
// is 0.0.0.0) or Stopped with a closed Fd.
// The handler runs after the Connect has released everything, and may destroy or restart it.
#pragma once

#include <string>

#include "base/event.h"
#include "base/fd.h"
#include "base/timer.h"

namespace ASync {

class Connect {
 public:
  struct Status {
    enum Type { Idle = 0, Connecting = 1, Failed = 2, Connected = 3, Stopped = 4 };
  };

  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(Status::Type status, Fd fd) = 0;
  };

  template <class T>
  class THandler : public Handler {
   public:
    using Action = void (T::*)(Status::Type, Fd);
    THandler(Action action, T* object) : action_(action), object_(object) {}
    void Invoke(Status::Type status, Fd fd) override {
      if (action_) (object_->*action_)(status, std::move(fd));
    }

   private:
    Action action_;
    T* object_;
  };

  Connect() = default;
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;
  // Cancels a connect in progress without calling the handler.
  ~Connect();

  // Takes the handler, deleting the one bound before.
  void Bind(Handler* handler);
  void UnBind() { Bind(nullptr); }

  // Connects to "a.b.c.d:port" within timeout milliseconds. A connect that cannot even start
  // completes inside the call.
  void Start(const std::string& address, unsigned timeout);
  // Whether Start could connect to `address` at all: false for a text it fails at once.
  static bool Addressable(const std::string& address);
  // Ends a connect in progress with Stopped; does nothing otherwise.
  void Stop();

  Status::Type status() const { return status_; }

 private:
  void Complete(Status::Type status);
  void OnSocketEvent(int fd, short revents);
  void OnTimeOut();

  Status::Type status_ = Status::Idle;
  Fd socket_;
  Event event_;
  Handler* handler_ = nullptr;
  Timer timer_;
};

}  // namespace ASync
