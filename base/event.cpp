#include "base/event.h"

#include <cstdint>
#include <poll.h>

#include "base/multiplexer.h"

EventHandler::~EventHandler() { mux_detach(); }

std::string EventHandler::event_name() const { return "unknown"; }
bool EventHandler::is_named() const { return false; }
void EventHandler::served(unsigned) {}

void EventHandler::mux_attach() {
  if (!attached_) multiplexer.attach(this);
}

void EventHandler::mux_detach() {
  if (attached_) multiplexer.detach(this);
}

Event::~Event() {
  delete handler_;
  handler_ = nullptr;
  mux_detach();
}

void Event::Bind(Handler* handler) {
  Handler* old = handler_;
  handler_ = handler;
  if (old != handler) delete old;
}

void Event::Schedule(const Fd& fd, short events) {
  if (&fd == &fd_) {
    mux_detach();
    events_ = events;
    if (fd_) mux_attach();
    return;
  }
  Schedule(Fd(fd), events);
}

void Event::Schedule(Fd&& fd, short events) {
  mux_detach();
  fd_ = std::move(fd);
  events_ = events;
  if (fd_) mux_attach();
}

void Event::Release() {
  mux_detach();
  fd_.close();
}

void Event::set_events(short events) {
  events_ = events;
  if (attached()) multiplexer.refresh(this);
}

void Event::shedule_event(pollfd& entry) {
  entry.fd = fd_.get();
  entry.events = events_;
}

void Event::svc_event(short revents) {
  if (revents & events_) ++hits_;
  // The callback may delete this Event: nothing of it is touched afterwards.
  if (handler_) handler_->Invoke(fd_.get(), revents);
}

std::string PollEventAsText(short events) {
  static const char* const kNames[] = {"POLLIN",     "POLLPRI",    "POLLOUT",    "POLLERR",
                                       "POLLHUP",    "POLLNVAL",   "POLLRDNORM", "POLLRDBAND",
                                       "POLLWRNORM", "POLLWRBAND", "POLLMSG"};
  std::string text;
  for (unsigned bit = 0; bit < sizeof kNames / sizeof kNames[0]; ++bit)
    if (unsigned(uint16_t(events)) & (1u << bit)) text += std::string("|") + kNames[bit];
  return text.empty() ? text : text.substr(1);
}
