// Helpers of the tests that run the control transports on loopback: peers, a recording sink,
// scripted socket calls and their fixture.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/fd.h"
#include "proto/control_service.h"
#include "proto/socket_calls.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/loopback.h"
#include "tests/support/stream_capture.h"

// The far end of a connection, on loopback.
class TcpPeer {
 public:
  TcpPeer() = default;
  explicit TcpPeer(Fd fd) : fd_(std::move(fd)) {}
  // Connected to 127.0.0.1:port (closed when the connection was refused).
  static TcpPeer connect(unsigned short port) { return TcpPeer(connect_loopback(port)); }
  bool ok() const { return static_cast<bool>(fd_); }
  unsigned short local_port() const { return ::local_port(fd_); }
  std::string address() const { return "127.0.0.1:" + std::to_string(local_port()); }
  void send(const std::string& bytes) const {
    ASSERT_EQ(::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
  }
  // Everything that has arrived by now; eof() tells whether the other end has closed.
  std::string read() {
    std::string got;
    char buf[65536];
    for (;;) {
      ssize_t n = ::recv(fd_.get(), buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        got.append(buf, n);
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EINTR)) eof_ = true;
      if (n == 0 || errno != EINTR) return got;
    }
  }
  // Closes with a reset (SO_LINGER 0) rather than an orderly end of stream.
  void reset() {
    const linger abort{1, 0};
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    fd_.close();
  }
  // The other end has closed the connection (reset counts too).
  bool eof() {
    read();
    return eof_;
  }
  const Fd& fd() const { return fd_; }

 private:
  Fd fd_;
  bool eof_ = false;
};

// A sink that writes down what it hears: "connect", "disconnect", "message <payload>".
class RecordingSink : public Control::Notify {
 public:
  std::vector<std::string> heard;
  std::function<void(const std::string&)> on_message;

  void OnConnect() override { heard.push_back("connect"); }
  void OnDisconnect() override { heard.push_back("disconnect"); }
  void OnMessage(const char* data, int length) override {
    heard.push_back("message " + std::string(data, length));
    if (on_message) on_message(std::string(data, length));
  }
  std::vector<std::string> take() {
    std::vector<std::string> h;
    h.swap(heard);
    return h;
  }
};

// Socket calls that fail or answer as the test says, and go to the system otherwise.
class ScriptedCalls : public Control::SocketCalls {
 public:
  // errno for every socket creation, accept or connect while not 0.
  int socket_errno = 0;
  int accept_errno = 0;
  int connect_errno = 0;
  // The pending error to report, or -1 for the socket's own.
  int pending = -1;
  // The TCP state and congestion state to report, or -1 for the socket's own.
  int tcp_state = -1;
  int ca_state = -1;
  unsigned connects = 0;
  unsigned accepts = 0;

  Fd tcp_socket() override {
    if (!socket_errno) return SocketCalls::tcp_socket();
    errno = socket_errno;
    return Fd();
  }
  Fd accept(int listening, INet4::Addr* from) override {
    ++accepts;
    if (!accept_errno) return SocketCalls::accept(listening, from);
    errno = accept_errno;
    return Fd();
  }
  int connect(int fd, const INet4::Addr& to) override {
    ++connects;
    if (!connect_errno) return SocketCalls::connect(fd, to);
    errno = connect_errno;
    return -1;
  }
  bool pending_error(int fd, int* error) override {
    if (pending < 0) return SocketCalls::pending_error(fd, error);
    *error = pending;
    return true;
  }
  bool tcp_info(int fd, unsigned char* state, unsigned char* ca) override {
    if (!SocketCalls::tcp_info(fd, state, ca)) return false;
    if (tcp_state >= 0) *state = static_cast<unsigned char>(tcp_state);
    if (ca_state >= 0) *ca = static_cast<unsigned char>(ca_state);
    return true;
  }
};

// The fixture of the transport tests: the loop clock in the test's hand, the log streams
// captured, and one idle descriptor registered, so that a turn always has something to wait for.
class TransportTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    quiet_end_ = Fd(ends[1]);
    keeper_.reset(new Event);
    keeper_->Schedule(Fd(ends[0]), POLLIN);
  }
  void TearDown() override {
    keeper_.reset();
    LoopTest::TearDown();
  }

  LogCapture logs_;
  RecordingSink sink_;
  ScriptedCalls calls_;

 private:
  Fd quiet_end_;
  std::unique_ptr<Event> keeper_;
};
