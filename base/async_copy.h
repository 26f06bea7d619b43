// ASync::Copy: moves bytes from one descriptor to another through a buffer without blocking
// the loop, driven by a descriptor Event on each side, and reports its end once to a bound
// handler.
//
// The copy alternates between reading a chunk from the source (source Event polled with the
// read mask) and writing all of it to the destination (destination Event polled with the write
// mask). When the source ends, the rest of the chunk is written, and then, unless the flush
// mask is 0, the copy waits for the flush mask on the destination (a device that reports its
// transmit side drained) before it completes.
//
// Results: 5 done, 4 failed (a read error before anything was written, a write error, or an
// error or hang-up on the destination), 6 reconfigured while running. When the handler runs,
// the copy has already released its events and closed its descriptors; the handler may
// destroy or restart the copy.
#pragma once

#include <memory>
#include <poll.h>

#include "base/event.h"
#include "base/fd.h"

namespace ASync {

class Copy {
 public:
  struct Status {
    enum Type {
      Idle = 0,
      Copying = 1,
      Flushing = 2,  // the source has ended; the rest of the buffer is being written
      Draining = 3,  // waiting for the flush mask on the destination
      Failed = 4,
      Done = 5,
      Reconfigured = 6,
    };
  };

  struct EventsParams {
    short src = POLLIN;
    short dst = POLLOUT;
    short flush = POLLWRNORM;  // 0: complete as soon as everything is written
  };

  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(Status::Type status) = 0;
  };

  template <class T>
  class THandler : public Handler {
   public:
    using Action = void (T::*)(Status::Type);
    THandler(Action action, T* object) : action_(action), object_(object) {}
    void Invoke(Status::Type status) override {
      if (action_) (object_->*action_)(status);
    }

   private:
    Action action_;
    T* object_;
  };

  static const unsigned kDefaultBufSize = 1024;

  Copy() = default;
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;
  // Cancels a running copy without calling the handler.
  ~Copy();

  // Both end a running copy with Reconfigured; on an idle or finished copy they only store.
  void set_events(const EventsParams& params);
  // 0 means the default size.
  void set_bufsize(unsigned size);

  // Takes the handler, deleting the one bound before.
  void Bind(Handler* handler);
  void UnBind() { Bind(nullptr); }

  // Copies from source to destination (the copy owns what it is given; both are made
  // non-blocking while the copy holds them, and made blocking again when they were). The first
  // reads and writes happen inside the call.
  void Start(Fd source, Fd destination);
  // Ends a running copy as if the source had ended: the rest of the buffer is still written.
  void Stop();

  Status::Type status() const { return state_; }
  // The errno of the write that failed, else 0.
  int error() const { return error_; }
  unsigned written() const { return written_; }

 private:
  using Step = bool (Copy::*)();

  void make_buffer(unsigned size);
  static void release(Fd& fd, bool& was_blocking);
  void Progress();
  bool SrcReady();
  bool DstReady();
  bool NotReady() { return false; }
  void GoReading();
  void GoWriting();
  bool GoFlush();
  bool GoFlushDst();
  bool Complete(Status::Type status);
  bool running() const { return state_ >= Status::Copying && state_ <= Status::Draining; }
  void OnSrcEvent(int fd, short revents);
  void OnDstEvent(int fd, short revents);

  Fd src_;
  Fd dst_;
  bool src_was_blocking_ = false;
  bool dst_was_blocking_ = false;
  EventsParams params_;
  unsigned bufsize_ = 0;
  int error_ = 0;
  Step step_ = &Copy::NotReady;
  Handler* handler_ = nullptr;
  Event src_event_;
  Event dst_event_;
  unsigned written_ = 0;
  size_t pos_ = 0;
  size_t end_ = 0;
  Status::Type state_ = Status::Idle;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace ASync
