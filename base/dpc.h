// Dpc: a deferred call. While active it runs twice in every loop turn, after the due timers and
// again just before poll(); active calls run in ascending order of their addresses. A callback
// that deactivates its own Dpc makes it one-shot. A Dpc is a member of its owner; destroying it
// deactivates it.
#pragma once

#include <type_traits>

class DpcHandler {
 public:
  virtual void Invoke() = 0;
  virtual ~DpcHandler() = default;
};

class DpcHandler1 : public DpcHandler {
 public:
  explicit DpcHandler1(void (*function)()) : function_(function) {}
  void Invoke() override { function_(); }

 private:
  void (*function_)();
};

template <class T>
class TDpcHandler : public DpcHandler {
 public:
  TDpcHandler(T* object, void (T::*member)()) : object_(object), member_(member) {}
  void Invoke() override { (object_->*member_)(); }

 private:
  T* object_;
  void (T::*member_)();
};

class Dpc {
 public:
  Dpc() = default;
  Dpc(const Dpc&) = delete;
  Dpc& operator=(const Dpc&) = delete;
  ~Dpc();

  // Takes ownership of `handler` (may be null) and deletes the one bound before.
  void Bind(DpcHandler* handler);
  template <class T>
  void Bind(std::common_type_t<T>* object, void (T::*member)()) {
    Bind(new TDpcHandler<T>(object, member));
  }
  void Activate();
  void Deactivate();
  bool active() const { return active_; }

 private:
  friend class Multiplexer;
  void invoke() {
    if (handler_) handler_->Invoke();
  }

  DpcHandler* handler_ = nullptr;
  bool active_ = false;
};
