// The PPP authentication relay: tests act as the authentication program on 127.0.0.1:52000 for
// DSP modem 0 (slot 1, its pppd a stub that waits).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include "slots/media/auth_client.h"
#include "tests/slots_media/modem_road.h"
#include "tests/support/loopback.h"

namespace {

std::string be32(uint32_t v) {
  const uint32_t n = htonl(v);
  return std::string(reinterpret_cast<const char*>(&n), 4);
}
std::string text64(const std::string& t) { return (t + std::string(64, '\0')).substr(0, 64); }
std::string request(int session, const std::string& user, const std::string& password) {
  return be32(140) + be32(1) + be32(static_cast<uint32_t>(session)) + text64(user) +
         text64(password);
}
std::string accounting(int session) {
  std::string r = be32(64) + be32(4) + be32(static_cast<uint32_t>(session)) + std::string(12, 'x');
  for (uint32_t w : {1u, 5u, 0u, 7u, 0u, 2u, 0u, 3u, 99u, 0u}) r += be32(w);
  return r;
}
std::string auth_signal(const std::string& user, const std::string& password) {
  return signal(
      1, "modemProceeding : auth : { username \"" + user + "\", password \"" + password + "\" }");
}

class AuthRelay : public ModemRoad {
 protected:
  void SetUp() override {
    ModemRoad::SetUp();
    run({"{ seq 1, slot 1, pdu command : create : modem : { cid \"\", cdid \"\" } }"});
    connect_trunk();
    started("/usr/local/sbin/pppd");
    peer_ = connect_loopback(ModemFactory::kAuthPort);
    ASSERT_TRUE(peer_);
    until([](const Lines&) { return !ModemFactory::instance().clients.empty(); });
  }
  void TearDown() override {
    peer_.close();
    until([](const Lines&) { return ModemFactory::instance().clients.empty(); });
    ModemRoad::TearDown();
  }
  // Writes each piece and lets the daemon read it (loopback hands it over within the write).
  Lines send(const std::vector<std::string>& pieces) {
    Lines got;
    for (const auto& p : pieces) {
      EXPECT_EQ(::write(peer_.get(), p.data(), p.size()), static_cast<ssize_t>(p.size()));
      for (const auto& m : arrived()) got.push_back(m);
    }
    return got;
  }
  // Whether the daemon closed the connection (bounded wait).
  bool closed_by_daemon() {
    char c;
    bool closed = false;
    until([&](const Lines&) { return closed = ::recv(peer_.get(), &c, 1, MSG_DONTWAIT) == 0; });
    return closed;
  }
  Fd peer_;
};

TEST_F(AuthRelay, RecordsSplitAndCoalescedArriveOnceInOrder) {
  const std::string a = request(0, "alice", "secret");
  const std::string b = accounting(0);
  const std::string c = request(0, std::string(64, 'u'), std::string(64, 'p'));
  // Split: the length word, then the rest in pieces; then two records and a half in one write.
  EXPECT_EQ(send({a.substr(0, 4), a.substr(4, 50), a.substr(54), b + c.substr(0, 7)}),
            wires({auth_signal("alice", "secret"),
                   signal(1,
                          "modemProceeding : acct : { octetsOut { low 5, high 1 }, octetsIn { low "
                          "7, high 0 }, packetsOut { low 2, high 0 }, packetsIn { low 3, high 0 }, "
                          "time { low 99, high 0 } }")}));
  // Names that fill their 64 bytes without a NUL are read to the end of the field.
  EXPECT_EQ(send({c.substr(7)}), wires({auth_signal(std::string(64, 'u'), std::string(64, 'p'))}));
}

TEST_F(AuthRelay, RecordsThatFindNoSlotOrBodyAreLogged) {
  StreamCapture err(std::cerr);
  std::string short_request = request(0, "a", "b");
  short_request = be32(100) + short_request.substr(4, 96);
  EXPECT_EQ(send({request(7, "a", "b"), request(-1, "a", "b"), short_request,
                  be32(12) + be32(9) + be32(0), be32(12) + be32(2) + be32(0)}),
            Lines{});
  EXPECT_EQ(err.take(),
            "modem[4,1]: receive auth request for unknown session 7\n"
            "modem[4,1]: receive auth request for unknown session -1\n"
            "01:dsp-modem: auth request, invalid size: 100\n"
            "01:dsp-modem: unknown request from portslave: 0x9\n"
            "01:dsp-modem: auth accept, ignored.\n");
  // Nothing was sent here for session 1.
  StreamCapture log(std::clog);
  EXPECT_FALSE(ModemFactory::instance().SendAuth(Auth::accept(1)));
  EXPECT_EQ(log.take(), "modem[4,1]: send error: unknown auth 1 session.\n");
}

TEST_F(AuthRelay, LengthOutOfRangeClosesTheConnection) {
  for (uint32_t length : {3u, 11u, 513u}) {
    SCOPED_TRACE(length);
    StreamCapture err(std::cerr);
    send({be32(length) + std::string(8, '\0')});
    EXPECT_TRUE(closed_by_daemon());
    EXPECT_NE(err.take().find("invalid record length " + std::to_string(length)),
              std::string::npos);
    until([](const Lines&) { return ModemFactory::instance().clients.empty(); });
    peer_ = connect_loopback(ModemFactory::kAuthPort);
    until([](const Lines&) { return !ModemFactory::instance().clients.empty(); });
  }
}

}  // namespace
