// AuthSession: the way of one modem slot's authentication records to the controller.
//
// The session reports at most kMaxReportsPerSecond auth requests, and as many accounting
// records, in any 1000 ms, whichever connections bring them, so that no local program can
// overrun the controller, nor keep an auth request from it with accounting: an accounting record
// beyond that is left out (a throttled line), an auth request waits its turn instead and is
// reported as soon as its rate allows.
//
// At most one auth request of the session is open: reported and not yet answered, or waiting its
// turn. A further request, from any connection, takes the open one's place (its connection takes
// the session's answer, ModemFactory::Ask) and is not reported again, except that a newer request
// waiting its turn is the one reported. The request is closed when the controller answers
// (Answered(), whether or not a connection was there to take the answer), or kAnswerWaitMs
// after it opened: then the connection that waits for it stops waiting, and the session's next
// request is reported again.
//
// The session's wait (waited_ms()) runs from the opening of the open request, and counts
// kAnswerWaitMs more once a request has gone unanswered that long, until the controller
// answers: a connection that asks again for such a session, on a new connection or not, has
// waited past the bound from its first moment.
#pragma once

#include <cstdint>
#include <optional>

#include "base/timer.h"
#include "slots/media/auth_records.h"
#include "slots/media/report_rate.h"

class ModemSlot;

class AuthSession {
 public:
  static constexpr unsigned kMaxReportsPerSecond = ReportRate::kMaxReportsPerSecond;
  // How long the controller is given to answer an auth request, and so the longest wait of a
  // connection for an answer.
  static constexpr unsigned kAnswerWaitMs = 30000;

  explicit AuthSession(ModemSlot& slot) : slot_(slot) {}
  AuthSession(const AuthSession&) = delete;
  AuthSession& operator=(const AuthSession&) = delete;

  // An auth request of the session (its connection has taken the answer).
  void Request(const voauth& request);
  // Whether an accounting record may be reported now (counted if so, logged if not).
  bool Accounting();
  // The controller has answered: the open request, if any, is closed.
  void Answered();
  // How long the session has waited for an answer, as above; 0 with no request open.
  uint32_t waited_ms() const;

 private:
  // Whether a request is open: its answer's wait runs.
  bool open() const { return answer_wait_.get() != nullptr; }
  void close();
  // Reports the request waiting its turn, once the rate allows it.
  void on_turn();
  // The controller has not answered in time.
  void on_answer_wait();

  ModemSlot& slot_;
  ReportRate requests_;
  ReportRate accounting_;
  // When the open request opened.
  uint32_t opened_ms_ = 0;
  // A request has gone unanswered for kAnswerWaitMs since the last answer.
  bool overdue_ = false;
  // The open request while it waits its turn; reported, it is pending at the controller.
  std::optional<voauth> waiting_;
  Timer turn_;
  // Runs while a request is open.
  Timer answer_wait_;
};
