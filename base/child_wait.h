// Child-process waits.
//
// A ChildWait waits for one child pid and calls a member function of its owner with the raw
// status that waitpid() gave. The owner binds its callback once, attaches the pid returned by
// fork() and is called once when that child ends; it may attach again (from the callback too)
// to wait for another child. The record leaves the wait list before its callback runs, so the
// callback may also destroy it. The handler lives inside the record: waiting allocates nothing.
//
// ChildWaitService (one per process) turns SIGCHLD into loop events: the signal handler only
// writes a wake-up token to a non-blocking socket pair, and the loop then reaps every ended
// child with waitpid(WNOHANG) and hands each status to the record waiting for that pid. Nothing
// can be lost to a full socket: a token already waits, and the children stay unreaped until the
// loop collects them. A child that no record waits for is reaped and logged.
//
// The service exists while any file that includes this header is initialised (a usage count
// driven by ChildWait::Initialize and ChildWait::Cleanup); ChildWait::Activate, called once by
// main, opens the socket pair and installs the SIGCHLD handler.
#pragma once

#include <csignal>
#include <cstddef>
#include <new>
#include <type_traits>

#include "base/event.h"
#include "base/f_dual_list.h"

class ChildWait : public F_dual_list_item<ChildWait> {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(ChildWait& record, int status) = 0;
  };

  class DummyHandler : public Handler {
   public:
    void Invoke(ChildWait&, int) override {}
  };

  template <class T>
  class THandler1 : public Handler {
   public:
    THandler1(T* object, void (T::*member)(int)) : object_(object), member_(member) {}
    void Invoke(ChildWait&, int status) override { (object_->*member_)(status); }

   private:
    T* object_;
    void (T::*member_)(int);
  };

  ChildWait() : handler_(new (storage_) DummyHandler) {}
  ChildWait(const ChildWait&) = delete;
  ChildWait& operator=(const ChildWait&) = delete;
  ~ChildWait();

  template <class T>
  void Bind(std::common_type_t<T>* object, void (T::*member)(int)) {
    static_assert(sizeof(THandler1<T>) <= sizeof storage_, "handler does not fit its record");
    handler_->~Handler();
    handler_ = new (storage_) THandler1<T>(object, member);
  }
  // Waits for `pid`; a record already waiting moves to the tail of the list.
  void Attach(int pid);
  void Detach();
  int pid() const { return pid_; }
  bool waiting() const { return listed(); }

  static void Activate();
  // Take and drop a use of the service; the first use creates it, the last destroys it.
  static void Initialize();
  static void Cleanup();
  static unsigned UsageCounter;

 private:
  friend class ChildWaitService;
  int pid_ = 0;
  alignas(std::max_align_t) unsigned char storage_[64];
  Handler* handler_;
};

class ChildWaitService : public Event {
 public:
  // The service, null when none exists.
  static ChildWaitService* childWaitService;

  // The SIGCHLD handler: wakes the loop. Keeps errno.
  static void SigChldHandlerWrapper(int signal, siginfo_t* info, void* context);
  // Reaps every ended child and serves the records waiting for them.
  void OnChildEvent(int fd, short revents);

 private:
  friend class ChildWait;
  ChildWaitService() = default;
  ~ChildWaitService() override;
  void activate();
  // Hands `status` to the first record waiting for `pid`. False when the callback destroyed the
  // service.
  bool deliver(int pid, int status);

  Fd write_end_;
  F_dual_list<ChildWait> records_;
  bool installed_ = false;
  struct sigaction previous_ {};
};

namespace child_wait_internal {
struct Use {
  Use() { ChildWait::Initialize(); }
  ~Use() { ChildWait::Cleanup(); }
};
static Use use;
}  // namespace child_wait_internal
