#include "proto/strm_protocol.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/mux_clock.h"
#include "tests/proto/proto_testlib.h"

namespace {

using Strings = std::vector<std::string>;

// The wait for room is the only blocking call of the layer; tests script it and move the clock.
class ScriptedStrm : public StrmProtocol {
 public:
  std::vector<int> waits;
  std::function<int(int)> wait = [](int ms) {
    Mux::TestClock::advance_ms(ms);
    return 0;
  };

 protected:
  int wait_writable(int timeout_ms) override {
    waits.push_back(timeout_ms);
    return wait(timeout_ms);
  }
};

class StrmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Mux::TestClock::set(7'000'000'000ull);
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    ours_ = Fd(sv[0]);
    peer_ = Fd(sv[1]);
    family_.add_protocol_tail(strm_);
    strm_->service_name("ctl");
  }
  void TearDown() override { Mux::TestClock::release(); }

  void peer_write(const std::string& s) {
    ASSERT_EQ(::write(peer_.get(), s.data(), s.size()), ssize_t(s.size()));
  }
  std::string peer_read_all() {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(peer_.get(), buf, sizeof buf, MSG_DONTWAIT)) > 0) out.append(buf, n);
    return out;
  }
  // Fills our send direction until the kernel refuses more.
  void fill_send_buffer() {
    std::string chunk(4096, 'f');
    while (::send(ours_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT) > 0) {
    }
  }
  void send_packet(const std::string& bytes) {
    Packet p = packet_of(bytes);
    strm_->message(p);
  }

  StreamCapture errors_{std::cerr};
  Fd ours_, peer_;
  RecordingFamily family_;
  ScriptedStrm* strm_ = new ScriptedStrm;
};

TEST_F(StrmTest, SocketFailuresCloseTheSocketAndReportUp) {
  struct Case {
    const char* name;
    short revents;
    bool peer_closes;
    const char* report;
  } cases[] = {
      {"hangup", POLLHUP, true, "failed: pollhup: connection closed by peer"},
      {"error_without_pending_error", POLLERR | POLLIN, false,
       "failed: pollerr: connection closed by peer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    Fd mine(sv[0]), theirs(sv[1]);
    family_.reports.clear();
    strm_->attach(mine);
    strm_->activate();
    if (c.peer_closes) theirs.close();
    strm_->on_event(strm_->socket().get(), c.revents);
    EXPECT_EQ(family_.reports, (Strings{"activated", c.report}));
    EXPECT_FALSE(strm_->attached());
    EXPECT_FALSE(strm_->event().attached());
  }
}

TEST_F(StrmTest, LastBytesBeforeAHangupAreDelivered) {
  strm_->attach(ours_);
  strm_->activate();
  peer_write("last");
  peer_.close();
  strm_->on_event(strm_->socket().get(), POLLIN | POLLHUP);
  EXPECT_EQ(family_.received, Strings{"last"});
  EXPECT_TRUE(strm_->attached());
  strm_->on_event(strm_->socket().get(), POLLIN | POLLHUP);
  EXPECT_EQ(family_.reports.back(), "status: end of stream");
  strm_->on_event(strm_->socket().get(), POLLHUP);
  EXPECT_EQ(family_.reports.back(), "failed: pollhup: connection closed by peer");
  EXPECT_FALSE(strm_->attached());
}

// A peer that has only finished sending still reads: the layer stops reading, tells the owner
// and keeps the socket for the answers.
TEST_F(StrmTest, EndOfStreamKeepsTheSocketForAnswers) {
  strm_->attach(ours_);
  ours_.close();
  strm_->activate();
  peer_write("asks");
  ASSERT_EQ(::shutdown(peer_.get(), SHUT_WR), 0);
  strm_->on_event(strm_->socket().get(), POLLIN);
  strm_->on_event(strm_->socket().get(), POLLIN);
  EXPECT_EQ(family_.received, Strings{"asks"});
  EXPECT_EQ(family_.reports, (Strings{"activated", "status: end of stream"}));
  EXPECT_TRUE(strm_->attached());
  EXPECT_EQ(strm_->event().events(), 0) << "nothing left to read";
  strm_->hold_input(false);
  EXPECT_EQ(strm_->event().events(), 0);
  send_packet("answer");
  EXPECT_EQ(peer_read_all(), "answer");
  strm_->deactivate();
  EXPECT_EQ(family_.reports.back(), "ok: success");
  char byte;
  EXPECT_EQ(::recv(peer_.get(), &byte, 1, 0), 0) << "closed after the answer";
}

TEST_F(StrmTest, WriteTimeoutWhenThePeerStopsReading) {
  strm_->attach(ours_);
  strm_->activate();
  fill_send_buffer();
  strm_->wait = [](int ms) {
    Mux::TestClock::advance_ms(600);
    return ms > 0 ? 1 : 0;  // room reported, but the peer still reads nothing
  };
  send_packet("more");
  EXPECT_EQ(strm_->waits, (std::vector<int>{1000, 400}));
  EXPECT_EQ(strm_->overflow(), 1u);
  EXPECT_EQ(family_.reports.back(), "failed: write timeout");
  EXPECT_FALSE(strm_->attached());
  EXPECT_TRUE(::testing::internal::RE::FullMatch(
      errors_.take(),
      "SockStream\\[ctl\\]: write timeout, sendbuf=[0-9]+, recvbuf=[0-9]+, free=-?[0-9]+, "
      "inq=0, outq=[0-9]+\n"));
}

TEST_F(StrmTest, WriteCompletesWhenThePeerCatchesUp) {
  strm_->attach(ours_);
  strm_->activate();
  fill_send_buffer();
  std::string drained;
  strm_->wait = [&](int) {
    Mux::TestClock::advance_ms(300);
    drained += peer_read_all();
    return 1;
  };
  std::string big(65536, 'z');
  send_packet(big);
  drained += peer_read_all();
  EXPECT_EQ(family_.reports, Strings{"activated"});
  EXPECT_EQ(strm_->overflow(), 0u);
  ASSERT_GE(drained.size(), big.size());
  EXPECT_EQ(drained.substr(drained.size() - big.size()), big);
  EXPECT_EQ(strm_->write_measure().count(), 1u);
}

TEST_F(StrmTest, WriteErrorWithoutSigpipe) {
  strm_->attach(ours_);
  strm_->activate();
  peer_.close();
  send_packet("abc");
  EXPECT_EQ(strm_->overflow(), 1u);
  EXPECT_EQ(family_.reports.back(), "failed: write error: Broken pipe");
  EXPECT_TRUE(::testing::internal::RE::FullMatch(
      errors_.take(), "SockStream\\[ctl\\]: write error, sendbuf=[0-9]+, recvbuf=[0-9]+, "
                      "free=-?[0-9]+, inq=0, outq=0, error=Broken pipe\n"));
}

// Deactivation closes the layer's duplicate of the socket: no descriptor is left open.
TEST_F(StrmTest, DeactivateClosesEveryCopyOfTheSocket) {
  strm_->attach(ours_);
  const int own = strm_->socket().get();
  strm_->attach(strm_->socket());  // its own socket is kept
  EXPECT_EQ(strm_->socket().get(), own);
  strm_->activate();
  EXPECT_TRUE(strm_->event().attached());
  family_.deactivate();
  EXPECT_EQ(family_.reports, (Strings{"activated", "ok: success"}));
  EXPECT_FALSE(strm_->attached());
  EXPECT_FALSE(strm_->event().attached());
  ours_.close();
  pollfd entry{peer_.get(), POLLIN, 0};
  ASSERT_EQ(::poll(&entry, 1, 0), 1);
  EXPECT_TRUE(entry.revents & POLLHUP);  // every copy of our end is closed
}

}  // namespace
