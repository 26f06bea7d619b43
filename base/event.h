// Descriptor events of the loop.
//
// EventHandler is what the multiplexer polls: it fills its poll-set entry each turn and is
// served with the returned events. Whenever poll() reports anything ready, every registered
// handler is served, those with returned events 0 included, so handlers test the events
// themselves.
//
// Event is the handler in practice: it owns one descriptor (an Fd), a poll mask and a callback
// object (Event::Handler, usually an Event::THandler calling a member function of the Event's
// owner). It is registered exactly while it holds a descriptor after Schedule; Release and
// destruction unregister it and close the descriptor. Events are members of their owners.
#pragma once

#include <string>
#include <type_traits>

#include "base/f_dual_list.h"
#include "base/fd.h"
#include "base/measure.h"

struct pollfd;

class EventHandler : public F_dual_list_item<EventHandler> {
 public:
  EventHandler() = default;
  EventHandler(const EventHandler&) = delete;
  EventHandler& operator=(const EventHandler&) = delete;
  virtual ~EventHandler();

  // Fills the handler's poll-set entry (fd and events).
  virtual void shedule_event(pollfd& entry) = 0;
  // Serves the result of a poll.
  virtual void svc_event(short revents) = 0;
  virtual std::string event_name() const;
  virtual bool is_named() const;
  // The duration of the handler's last call, in microseconds.
  virtual void served(unsigned us);

  void mux_attach();
  void mux_detach();
  void svc_event() { svc_event(revents_); }

  bool attached() const { return attached_; }
  short revents() const { return revents_; }

 private:
  friend class Multiplexer;
  bool attached_ = false;
  short revents_ = 0;
  // Index of the handler's entry in the poll set being built or polled, -1 when it has none.
  int poll_index_ = -1;
};

class Event : public EventHandler {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(int fd, short revents) = 0;
  };

  template <class T>
  class THandler : public Handler {
   public:
    using Action = void (T::*)(int, short);
    THandler(Action action, T* object) : action_(action), object_(object) {}
    void Invoke(int fd, short revents) override {
      if (action_) (object_->*action_)(fd, revents);
    }

   private:
    Action action_;
    T* object_;
  };

  Event() = default;
  ~Event() override;

  // Takes ownership of `handler` (may be null) and deletes the one bound before.
  void Bind(Handler* handler);
  // Names the event and binds (object->*action)(fd, revents); a null action unbinds.
  template <class T>
  void Bind(const std::string& name, void (T::*action)(int, short),
            std::common_type_t<T>* object) {
    name_ = name;
    Bind(action ? new THandler<T>(action, object) : nullptr);
  }
  void UnBind() { Bind(nullptr); }

  // Polls a duplicate of `fd` with `events` from the next turn on; the descriptor held before
  // is closed, unless `fd` is the Event's own, which is kept.
  void Schedule(const Fd& fd, short events);
  // The same, taking the descriptor over.
  void Schedule(Fd&& fd, short events);
  // Stops polling and closes the descriptor; handler and name stay.
  void Release();

  short events() const { return events_; }
  // Changes the poll mask in place; a registered Event is polled with it from now on.
  void set_events(short events);

  const Fd& fd() const { return fd_; }
  bool bound() const { return handler_ != nullptr; }
  // How many polls returned events that intersect the mask.
  unsigned hits() const { return hits_; }
  const Measure& measure() const { return measure_; }

  using EventHandler::svc_event;
  void shedule_event(pollfd& entry) override;
  void svc_event(short revents) override;
  std::string event_name() const override { return name_; }
  bool is_named() const override { return true; }
  void served(unsigned us) override { measure_.sample(us); }

 private:
  Handler* handler_ = nullptr;
  Fd fd_;
  short events_ = 0;
  std::string name_ = "Unknown";
  unsigned hits_ = 0;
  Measure measure_;
};

// The names of the poll bits set in `events`, joined by "|"; "" for none.
std::string PollEventAsText(short events);
