#include "tools/orvex-ctl/lib/controller.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>

#include "asn1/coder_env.h"
#include "tools/orvex-ctl/lib/command_reader.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace Ctl {

namespace {

// RFC 1006 section 6: version 3, a reserved octet, a 16-bit length that counts the header.
constexpr size_t tpkt_header = 4;
constexpr size_t tpkt_max = 65535;

long long now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int remaining(long long deadline_ms) {
  long long left = deadline_ms - now_ms();
  return left > 0 ? static_cast<int>(left) : 0;
}

std::string system_error(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

// Value notation on one line: each line break and the indent after it become one blank,
// except inside a quoted string.
std::string one_line(const std::string& text) {
  std::string line;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote == 0 && c == '\n') {
      while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
      line += ' ';
      continue;
    }
    if (c == '"' || c == '\'') quote = quote == 0 ? c : (quote == c ? 0 : quote);
    line += c;
  }
  return line;
}

bool Received::answers(const LGCP::Message& sent) const {
  if (!is_response() || message->has_seq() != sent.has_seq()) return false;
  return !sent.has_seq() || message->get_seq().getValue() == sent.get_seq().getValue();
}

std::string Received::signal_name() const {
  if (!is_signal()) return std::string();
  const char* name = message->get_pdu().get_signal().getSelectionName();
  return name ? name : "";
}

std::string Received::text() const {
  if (message) return message->asValueNotation();
  return "undecodable frame: " + to_hex(bytes);
}

bool Controller::fail(const std::string& text) {
  error_ = text;
  return false;
}

bool Controller::connect(const std::string& host, unsigned short port, int timeout_ms) {
  close();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) return fail("cannot resolve " + host + ": " + ::gai_strerror(rc));
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(found, ::freeaddrinfo);
  Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!s) return fail(system_error("socket"));
  if (::connect(s.get(), found->ai_addr, found->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) return fail(system_error("connect"));
    pollfd p{s.get(), POLLOUT, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return fail("connect: no answer in time");
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) {
      errno = err;
      return fail(system_error("connect"));
    }
  }
  const int one = 1;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  socket_ = std::move(s);
  return true;
}

void Controller::close() {
  socket_.close();
  in_.clear();
  kept_.clear();
  closed_ = false;
  broken_ = false;
}

bool Controller::shut_sending() {
  if (::shutdown(socket_.get(), SHUT_WR) == 0) return true;
  return fail(std::string("shutdown: ") + std::strerror(errno));
}

bool Controller::send_frame(const std::vector<char>& payload) { return send_frames({payload}); }

bool Controller::send_frames(const std::vector<std::vector<char>>& payloads) {
  if (!socket_) return fail("not connected");
  std::string frames;
  for (const auto& payload : payloads) {
    const size_t n = payload.size() + tpkt_header;
    if (n > tpkt_max) return fail("message too long for one frame");
    frames += std::string{'\x03', '\x00', static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)};
    frames.append(payload.begin(), payload.end());
  }
  size_t done = 0;
  while (done < frames.size()) {
    ssize_t w = ::send(socket_.get(), frames.data() + done, frames.size() - done, MSG_NOSIGNAL);
    if (w > 0) {
      done += static_cast<size_t>(w);
    } else if (w < 0 && errno == EAGAIN) {
      pollfd p{socket_.get(), POLLOUT, 0};
      ::poll(&p, 1, 1000);
    } else if (w < 0 && errno != EINTR) {
      closed_ = closed_ || errno == EPIPE || errno == ECONNRESET;  // by the daemon
      return fail(system_error("send"));
    }
  }
  return true;
}

bool Controller::encode(LGCP::Message& message, bool fill_seq, std::vector<char>& bytes) {
  if (fill_seq && !message.has_seq()) message.set_seq(next_seq_++);
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!ASN1::encode(message, &env, std::back_inserter(bytes)))
    return fail("the message cannot be encoded: " + message.asValueNotation());
  return true;
}

bool Controller::send(LGCP::Message& message, bool fill_seq) {
  std::vector<char> bytes;
  return encode(message, fill_seq, bytes) && send_frame(bytes);
}

bool Controller::parse(const std::string& text, LGCP::Message& message) {
  std::string error;
  if (!read_whole_command(text, message, error)) return fail(error + ": " + text);
  return true;
}

bool Controller::send(const std::string& text, bool fill_seq) {
  LGCP::Message message;
  return parse(text, message) && send(message, fill_seq);
}

bool Controller::send_together(const std::vector<std::string>& texts) {
  std::vector<std::vector<char>> payloads(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    LGCP::Message message;
    if (!parse(texts[i], message) || !encode(message, true, payloads[i])) return false;
  }
  return send_frames(payloads);
}

bool Controller::fill(long long deadline_ms) {
  char buf[4096];
  for (;;) {
    ssize_t n = ::recv(socket_.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      in_.append(buf, static_cast<size_t>(n));
      return true;
    }
    if (n == 0) {
      closed_ = true;
      return fail("the daemon closed the connection");
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      closed_ = true;
      return fail(system_error("recv"));
    }
    pollfd p{socket_.get(), POLLIN, 0};
    const int left = remaining(deadline_ms);
    if (left == 0 || ::poll(&p, 1, left) == 0) return fail("no message in time");
  }
}

bool Controller::take_frame(Received& r, bool& complete) {
  complete = false;
  if (in_.size() < tpkt_header) return true;
  const auto octet = [this](size_t i) { return static_cast<unsigned char>(in_[i]); };
  const size_t length = size_t(octet(2)) << 8 | octet(3);
  if (octet(0) != 3 || octet(1) != 0 || length < tpkt_header) {
    broken_ = true;
    return fail("broken TPKT header " + to_hex(std::vector<char>(in_.begin(), in_.begin() + 4)));
  }
  if (in_.size() < length) return true;
  r.bytes.assign(in_.begin() + tpkt_header, in_.begin() + length);
  in_.erase(0, length);
  r.message = std::make_shared<LGCP::Message>();
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!ASN1::decode(r.bytes.data(), r.bytes.data() + r.bytes.size(), &env, *r.message))
    r.message.reset();
  complete = true;
  return true;
}

bool Controller::read_frame(Received& r, long long deadline_ms) {
  if (!socket_) return fail("not connected");
  for (;;) {
    bool complete;
    if (!take_frame(r, complete)) return false;
    if (complete) return true;
    if (closed_) return fail("the daemon closed the connection");
    if (!fill(deadline_ms)) return false;
  }
}

bool Controller::receive(Received& r, int timeout_ms) {
  if (!kept_.empty()) {
    r = std::move(kept_.front());
    kept_.pop_front();
    return true;
  }
  return read_frame(r, now_ms() + timeout_ms);
}

bool Controller::command(const std::string& text, Received& response, int timeout_ms,
                         bool fill_seq) {
  LGCP::Message message;
  if (!parse(text, message)) return false;
  return command(message, response, timeout_ms, fill_seq);
}

bool Controller::command(LGCP::Message& sent, Received& response, int timeout_ms,
                         bool fill_seq) {
  const long long deadline = now_ms() + timeout_ms;
  if (!send(sent, fill_seq)) return false;
  for (;;) {
    Received r;
    if (!read_frame(r, deadline)) return false;
    if (r.answers(sent)) {
      response = std::move(r);
      return true;
    }
    kept_.push_back(std::move(r));
  }
}

bool Controller::wait_for(const std::string& signal, Received& r, int timeout_ms) {
  for (auto i = kept_.begin(); i != kept_.end(); ++i) {
    if (i->signal_name() == signal) {
      r = std::move(*i);
      kept_.erase(i);
      return true;
    }
  }
  const long long deadline = now_ms() + timeout_ms;
  for (;;) {
    Received got;
    if (!read_frame(got, deadline)) return false;
    if (got.signal_name() == signal) {
      r = std::move(got);
      return true;
    }
    kept_.push_back(std::move(got));
  }
}

bool Controller::wait_closed(int timeout_ms) {
  const long long deadline = now_ms() + timeout_ms;
  for (;;) {
    Received got;
    if (!read_frame(got, deadline)) return closed_;
    kept_.push_back(std::move(got));
  }
}

}  // namespace Ctl
