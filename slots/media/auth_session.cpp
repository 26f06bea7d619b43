#include "slots/media/auth_session.h"

#include <iostream>

#include "base/mux_clock.h"
#include "slots/media/modem_factory.h"
#include "slots/media/modem_slot.h"

void AuthSession::Request(const voauth& request) {
  // One pending at the controller: this request takes its place and its answer.
  if (open() && !waiting_) return;
  if (!open()) {
    opened_ms_ = Mux::milliseconds();
    answer_wait_.set(kAnswerWaitMs, &AuthSession::on_answer_wait, this);
  }
  waiting_ = request;
  on_turn();
}

void AuthSession::on_turn() {
  if (!waiting_) return;
  if (!requests_.room()) {
    turn_.set(requests_.room_in(), &AuthSession::on_turn, this);
    return;
  }
  requests_.count();
  const voauth request = std::move(*waiting_);
  waiting_.reset();
  slot_.OnAuthRequest(request);
}

bool AuthSession::Accounting() {
  if (accounting_.room()) {
    accounting_.count();
    return true;
  }
  slot_.refusalLogs.write(std::cerr, &slot_, "auth record over the session's rate, left out");
  return false;
}

void AuthSession::Answered() {
  overdue_ = false;
  close();
}

uint32_t AuthSession::waited_ms() const {
  if (!open()) return 0;
  return Mux::milliseconds() - opened_ms_ + (overdue_ ? kAnswerWaitMs : 0);
}

void AuthSession::close() {
  waiting_.reset();
  turn_.reset();
  answer_wait_.reset();
}

void AuthSession::on_answer_wait() {
  overdue_ = true;
  close();
  ModemFactory::instance().EndWait(slot_.modem_id());
}
