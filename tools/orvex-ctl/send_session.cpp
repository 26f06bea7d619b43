#include "tools/orvex-ctl/send_session.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>

#include "control/heartbeat_ctl.h"

namespace Ctl {

namespace {

// The local time of day as "14:03:27.512".
std::string time_of_day() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                local.tm_sec, now.tv_nsec / 1000000);
  return text;
}

}  // namespace

SendSession::SendSession(const Options& options, int input, std::ostream& out, std::ostream& err)
    : options_(options), input_(input), out_(out), err_(err) {}

int SendSession::run() {
  if (!controller_.connect(options_.host, options_.port, options_.timeout_ms)) {
    problem(controller_.error());
    lost_ = true;
    return status();
  }
  // The daemon's heartbeat counts from the connection's opening, as the idle time below does.
  last_sent_ = Clock::now();
  for (;;) {
    if (!send_ready()) break;
    if (!answering_ && reader_.done()) {
      if (options_.awaited.empty() || seen_) break;
      if (!awaiting_signal_) {
        awaiting_signal_ = true;
        deadline_ = Clock::now() + std::chrono::milliseconds(options_.timeout_ms);
      }
    }
    pollfd fds[2] = {{controller_.fd(), POLLIN, 0}, {input_, POLLIN, 0}};
    const nfds_t count = reader_.ended() ? 1 : 2;
    const int rc = ::poll(fds, count, wait_ms());
    if (rc < 0 && errno != EINTR) {
      problem(std::string("poll: ") + std::strerror(errno));
      lost_ = true;
      break;
    }
    if (rc > 0 && fds[0].revents != 0 && !take_received()) break;
    if (rc > 0 && count == 2 && fds[1].revents != 0) read_input();
    // Checked on every turn, so that messages that keep coming cannot hold the deadline off.
    if (timed_out()) break;
  }
  controller_.close();
  return status();
}

bool SendSession::send_ready() {
  while (!answering_) {
    std::string error;
    const CommandReader::Result next = reader_.next(in_flight_, error);
    if (next == CommandReader::Result::kNeedMore) return true;
    if (next == CommandReader::Result::kUnreadable) {
      problem(error + " (not sent)");
      unreadable_ = true;
      continue;
    }
    if (!controller_.send(in_flight_)) {
      if (controller_.lost()) {
        connection_lost();
      } else {
        problem(controller_.error());
        lost_ = true;
      }
      return false;
    }
    print("->", in_flight_);
    answering_ = true;
    last_sent_ = Clock::now();
    deadline_ = last_sent_ + std::chrono::milliseconds(options_.timeout_ms);
  }
  return true;
}

bool SendSession::take_received() {
  Received r;
  while (controller_.receive(r, 0)) {
    heard_ = true;
    if (r.message) {
      print("<-", *r.message);
    } else {
      out_ << time_of_day() << " <- " << r.text() << std::endl;
    }
    seen_ = seen_ || (!options_.awaited.empty() && r.signal_name() == options_.awaited);
    if (answering_ && r.answers(in_flight_)) {
      answering_ = false;
      error_answer_ = error_answer_ || !r.message->get_pdu().get_response().is_success();
    }
  }
  if (!controller_.lost()) return true;
  connection_lost();
  return false;
}

void SendSession::connection_lost() {
  lost_ = true;
  const auto idle = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - last_sent_);
  if (idle < std::chrono::milliseconds(HeartBeatCtl::timeout_ms)) {
    // The daemon closes at once the connection of a controller beside the one it serves.
    problem(controller_.error() +
            (heard_ ? ""
                    : " before any answer: the daemon serves one controller at a time, and "
                      "another may be connected"));
    return;
  }
  problem(controller_.error() + " after " + std::to_string(idle.count()) +
          " s without a command: likely its heartbeat, which ends a session that sends nothing "
          "for " + std::to_string(HeartBeatCtl::timeout_ms / 1000) +
          " s (and destroys its slots); send ping : NULL more often");
}

void SendSession::read_input() {
  char buf[4096];
  const ssize_t n = ::read(input_, buf, sizeof buf);
  if (n > 0) {
    reader_.add(buf, static_cast<size_t>(n));
    return;
  }
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n < 0) problem(std::string("reading the commands: ") + std::strerror(errno));
  reader_.end();
}

int SendSession::wait_ms() const {
  if (!answering_ && !awaiting_signal_) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
  // poll() rounds down: wait one more millisecond so that the deadline has passed on waking.
  return left > 0 ? static_cast<int>(left) + 1 : 0;
}

bool SendSession::timed_out() {
  const bool waiting = answering_ || (awaiting_signal_ && !seen_);
  if (!waiting || Clock::now() < deadline_) return false;
  timed_out_ = true;
  const std::string within = " within " + std::to_string(options_.timeout_ms) + " ms";
  if (answering_) {
    problem("no answer to seq " + std::to_string(in_flight_.get_seq().getValue()) + within);
  } else {
    problem("no signal " + options_.awaited + within);
  }
  return true;
}

void SendSession::print(const char* direction, const LGCP::Message& message) {
  out_ << time_of_day() << ' ' << direction << ' ' << one_line(message.asValueNotation())
       << std::endl;
}

void SendSession::problem(const std::string& text) {
  out_.flush();
  err_ << "orvex-ctl: " << text << std::endl;
}

int SendSession::status() const {
  if (lost_) return kLost;
  if (timed_out_) return kTimedOut;
  if (unreadable_) return kUnreadable;
  if (error_answer_) return kErrorAnswer;
  return kAllAnswered;
}

}  // namespace Ctl
