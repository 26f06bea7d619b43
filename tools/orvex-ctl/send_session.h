// SendSession: orvex-ctl send, one session with a running daemon.
//
// It polls its input and the connection together: each command goes out once it has been read
// whole and the one before it is answered, and every message from the daemon is printed the
// moment it arrives, also while the input is quiet. Each line printed is the local time, "->"
// for a command sent or "<-" for a message received, and the message in value notation on one
// line. A command that cannot be read is reported with its place and skipped; the session goes
// on, since ending it would make the daemon destroy every slot the session made.
//
// Every wait is bounded by the timeout: the connection, each answer (from its command's
// sending), and the awaited signal (from the last answer after the end of the input), whatever
// other messages come meanwhile. A wait for input is not bounded, but a daemon that closes the
// connection meanwhile ends the session; when no command went out for the daemon's heartbeat
// time (120 s) before, the message names the heartbeat as the likely cause, and when nothing
// came from the daemon before, that it serves one controller at a time.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

#include "tools/orvex-ctl/lib/command_reader.h"
#include "tools/orvex-ctl/lib/controller.h"

namespace Ctl {

class SendSession {
 public:
  // Exit statuses. When several apply, the first of kLost, kTimedOut, kUnreadable, kErrorAnswer
  // is the session's.
  enum Status {
    kAllAnswered = 0,  // every command answered with success (and the awaited signal came)
    kErrorAnswer = 1,  // a response other than success
    kUsage = 2,        // wrong arguments
    kTimedOut = 3,     // the awaited signal, or an answer, did not come in time
    kLost = 4,         // no connection, or it was lost before the session's end
    kUnreadable = 5,   // a command could not be read
  };

  struct Options {
    std::string host;
    unsigned short port = 0;
    std::string awaited;  // a signal's name; empty: none
    int timeout_ms = 10000;
  };

  // Reads commands from descriptor `input`; prints messages on `out`, problems on `err`.
  SendSession(const Options& options, int input, std::ostream& out, std::ostream& err);
  SendSession(const SendSession&) = delete;
  SendSession& operator=(const SendSession&) = delete;

  // Runs the session to its end; the exit status.
  int run();

 private:
  using Clock = std::chrono::steady_clock;

  // Sends the commands read so far, one at a time; false when the connection failed.
  bool send_ready();
  // Prints and takes note of every message that has arrived; false when the connection is lost.
  bool take_received();
  // Reads what the input holds; at its end tells the reader so.
  void read_input();
  // What the session waits for at most, in milliseconds from now; -1: no bound.
  int wait_ms() const;
  // True, and the wait reported, when the wait has run out.
  bool timed_out();
  void print(const char* direction, const LGCP::Message& message);
  void problem(const std::string& text);
  // The connection is lost: the controller's reason, and the heartbeat as the likely cause when
  // no command went out for as long as the daemon waits for one, or else another controller
  // when the daemon had sent nothing.
  void connection_lost();
  int status() const;

  Options options_;
  int input_;
  std::ostream& out_;
  std::ostream& err_;
  Controller controller_;
  CommandReader reader_;
  LGCP::Message in_flight_;  // the command awaiting its answer, valid while answering_
  bool answering_ = false;
  Clock::time_point last_sent_;
  Clock::time_point deadline_;  // of the answer, or of the awaited signal
  bool awaiting_signal_ = false;
  bool seen_ = false;
  bool heard_ = false;  // a message came from the daemon
  bool error_answer_ = false;
  bool unreadable_ = false;
  bool timed_out_ = false;
  bool lost_ = false;
};

}  // namespace Ctl
