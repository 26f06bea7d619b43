// The PPP authentication relay: tests act as the authentication program on 127.0.0.1:52000 for
// DSP modem 0 (slot 1, its pppd a stub that waits).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <functional>

#include "slots/media/auth_client.h"
#include "slots/media/auth_session.h"
#include "slots/media/dsp_modem_slot.h"
#include "slots/media/modem_slot.h"
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
  // What arrives on `fd` within `ms`, up to the 52 bytes of an answer.
  static std::string answer_on(const Fd& fd, int ms) {
    std::string got(52, '\0');
    size_t n = 0;
    for (pollfd p{fd.get(), POLLIN, 0}; n < got.size() && ::poll(&p, 1, ms) == 1;) {
      const ssize_t r = ::read(fd.get(), &got[n], got.size() - n);
      if (r <= 0) break;
      n += static_cast<size_t>(r);
    }
    return got.substr(0, n);
  }
  // Whether the daemon has closed the connection of `fd` by now (past what it sent; with what
  // it had not read, the close resets the connection).
  static bool closed(const Fd& fd) {
    char buffer[512];
    ssize_t n;
    while ((n = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    }
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }
  // Whether the daemon closed the fixture's connection (bounded wait).
  bool closed_by_daemon() {
    bool gone = false;
    until([&](const Lines&) { return gone = closed(peer_); });
    return gone;
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
  // Names that fill their 64 bytes without a NUL are read to the end of the field (once the
  // first request has gone unanswered: a pending one is not heard again).
  advance(AuthSession::kAnswerWaitMs);
  EXPECT_EQ(send({c.substr(7)}), wires({auth_signal(std::string(64, 'u'), std::string(64, 'p'))}));
}

TEST_F(AuthRelay, RecordsThatFindNoSlotOrBodyAreLogged) {
  StreamCapture err(std::cerr);
  std::string short_request = request(0, "a", "b");
  short_request = be32(100) + short_request.substr(4, 96);
  EXPECT_EQ(send({request(7, "a", "b"), request(-1, "a", "b"), short_request,
                  be32(12) + be32(9) + be32(0), be32(12) + be32(2) + be32(0)}),
            Lines{});
  // The second record without a slot is counted, not logged, within the second.
  EXPECT_EQ(err.take(),
            "modem[4,1]: receive auth request for unknown session 7\n"
            "01:dsp-modem: auth request, invalid size: 100\n"
            "01:dsp-modem: unknown request from portslave: 0x9\n"
            "01:dsp-modem: auth accept, ignored.\n");
  // Nothing was sent here for session 1.
  StreamCapture log(std::clog);
  EXPECT_FALSE(ModemFactory::instance().SendAuth(Auth::accept(1)));
  EXPECT_EQ(log.take(), "modem[4,1]: send error: unknown auth 1 session.\n");
}

// A peer can send records without a slot at any rate: one line a second, and the count owed is
// written when its connection ends.
TEST_F(AuthRelay, RecordsWithoutASlotAreLoggedOnceASecond) {
  StreamCapture err(std::cerr);
  std::string flood;
  for (int i = 0; i < 20; ++i) flood += request(7, "a", "b");
  EXPECT_EQ(send({flood}), Lines{});
  EXPECT_EQ(err.take_lines(), Lines{"modem[4,1]: receive auth request for unknown session 7"});
  send({request(8, "a", "b")});
  peer_.close();
  until([](const Lines&) { return ModemFactory::instance().clients.empty(); });
  EXPECT_EQ(
      err.take_lines(),
      Lines{"modem[4,1]: receive auth request for unknown session 8 (19 similar lines left out)"});
}

// Each connection that sends a length out of range is closed; a peer that reconnects to do it
// again writes one line a second.
TEST_F(AuthRelay, LengthOutOfRangeClosesTheConnection) {
  StreamCapture err(std::cerr);
  for (uint32_t length : {3u, 11u, 513u, 600u}) {
    SCOPED_TRACE(length);
    if (length == 600) advance(1000);
    send({be32(length) + std::string(8, '\0')});
    EXPECT_TRUE(closed_by_daemon());
    until([](const Lines&) { return ModemFactory::instance().clients.empty(); });
    peer_ = connect_loopback(ModemFactory::kAuthPort);
    until([](const Lines&) { return !ModemFactory::instance().clients.empty(); });
  }
  Lines lines = lines_of(err, "modem[4,1]: auth client 127.0.0.1:");
  for (std::string& line : lines) line.erase(0, line.find(": invalid") + 2);
  EXPECT_EQ(lines, (Lines{"invalid record length 3",
                          "invalid record length 600 (2 similar lines left out)"}));
}

// What one session's program sends at any rate reaches the controller at most
// kMaxReportsPerSecond times a second, an auth request once while it is pending, and the log
// once a second per kind of line, with the count of those left out; the next second reports
// again.
TEST_F(AuthRelay, FloodsOfOneSessionAreBounded) {
  struct Case {
    const char* name;
    std::string record;
    size_t signals;  // of 25 records
    std::string line;
  };
  const std::string over = "01:dsp-modem: auth record over the session's rate, left out";
  for (const Case& c :
       {Case{"accounting", accounting(0), AuthSession::kMaxReportsPerSecond, over},
        Case{"auth request", request(0, "a", "b"), 1, ""},
        Case{"accept", be32(16) + be32(2) + be32(0) + be32(1), 0,
             "01:dsp-modem: auth accept, ignored."},
        Case{"IP parameters", be32(12) + be32(3) + be32(0), 0, "01:dsp-modem: auth ip, ignored."},
        Case{"unknown type", be32(12) + be32(0xab) + be32(0), 0,
             "01:dsp-modem: unknown request from portslave: 0xAB"},
        Case{"bad size", be32(20) + be32(4) + be32(0) + std::string(8, '\0'), 0,
             "01:dsp-modem: auth accounting, invalid size: 20"}}) {
    SCOPED_TRACE(c.name);
    advance(1000);
    StreamCapture err(std::cerr);
    std::string flood;
    for (int i = 0; i < 25; ++i) flood += c.record;
    Lines got = send({flood});
    for (const auto& m : arrived()) got.push_back(m);
    EXPECT_EQ(got.size(), c.signals);
    EXPECT_EQ(err.take_lines(), c.line.empty() ? Lines{} : Lines{c.line});
  }
  advance(1000);
  EXPECT_EQ(send({accounting(0)}).size(), 1u);
}

// Connections that trickle a byte every 5 s hold every place of the relay only until their
// record is 10 s late: then each is closed (one line for all), and a real authentication gets
// through. A connection that has sent its record and waits for the answer is not closed.
TEST_F(AuthRelay, SlowConnectionsAreClosedSoAnAuthenticationGetsThrough) {
  auto& clients = ModemFactory::instance().clients;
  StreamCapture err(std::cerr);
  std::vector<Fd> slow;
  while (clients.size() < ModemFactory::kMaxAuthClients) {
    slow.push_back(connect_loopback(ModemFactory::kAuthPort));
    ASSERT_TRUE(slow.back());
    until([&](const Lines&) { return clients.size() == slow.size() + 1; });
  }
  for (unsigned ms : {0u, 5000u}) {
    advance(ms);
    for (const Fd& s : slow) ASSERT_EQ(::write(s.get(), "\0", 1), 1);
    turns(3);
  }
  advance(AuthClient::kRecordDeadlineMs - 5000 - 1);
  EXPECT_EQ(clients.size(), ModemFactory::kMaxAuthClients);
  // The fixture's connection has sent a whole record meanwhile and waits.
  EXPECT_EQ(send({request(0, "bob", "pw")}), wires({auth_signal("bob", "pw")}));
  advance(1);
  EXPECT_EQ(clients.size(), 1u);
  // One line for the 63 closed, and at most one for the 63 opened: a local program opens them
  // at will.
  Lines closed, opened;
  for (const std::string& l : err.take_lines()) {
    if (l.rfind("modem[4,1]: auth client 127.0.0.1:", 0) == 0) closed.push_back(l);
    if (l.rfind("modem[4,1]: incoming auth connection", 0) == 0) opened.push_back(l);
  }
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_NE(closed[0].find(": no whole record within 10000 ms, closed"), std::string::npos);
  EXPECT_LE(opened.size(), 1u);

  Fd real = connect_loopback(ModemFactory::kAuthPort);
  until([&](const Lines&) { return clients.size() == 2; });
  const std::string r = request(0, "alice", "secret");
  ASSERT_EQ(::write(real.get(), r.data(), r.size()), static_cast<ssize_t>(r.size()));
  // The real program's request takes the pending one's place: it now waits for session 0's
  // answer; the fixture's connection no longer does and goes at its deadline.
  EXPECT_EQ(until([&](const Lines&) { return clients.back()->waiting(); }), Lines{});
  advance(AuthClient::kRecordDeadlineMs);
  ASSERT_EQ(clients.size(), 1u);
  EXPECT_TRUE(clients.front()->waiting());
  real.close();
  until([&](const Lines&) { return clients.empty(); });
}

// A digital call's session is its interface's (hdlc0: -2), so that two calls never share one;
// -1 is no call's, not even a DSP modem's that has no modem yet (slot 5).
TEST_F(AuthRelay, DigitalCallsHaveTheSessionOfTheirInterface) {
  sim("net hdlc 0 7");
  LGCP::Resources report;
  ModemFactory::instance().Query(report);
  run({"{ seq 4, slot 3, pdu command : create : modem : { cid \"\", cdid \"\", ddm { ddmV110 } } }",
       "{ seq 5, slot 5, pdu command : create : modem : { cid \"\", cdid \"\" } }",
       "{ seq 6, slot 4, pdu command : create : trunk : { trunk 0, timeslot 2 } }",
       "{ seq 7, slot 4, pdu command : connect : 3 }"});
  ASSERT_EQ(ModemFactory::instance().hdlc_modems.size(), 1u);
  started("/usr/local/sbin/pppd");
  struct Case {
    int session;
    Lines signals;
    const char* log;
  };
  const Lines heard =
      wires({signal(3, "modemProceeding : auth : { username \"h\", password \"p\" }")});
  for (const Case& c : {
           Case{-1, {}, "modem[4,3]: receive auth request for unknown session -1\n"},
           Case{-2, heard, ""},
           Case{-3, {}, "modem[4,3]: receive auth request for unknown session -3\n"},
       }) {
    SCOPED_TRACE(c.session);
    advance(1000);
    StreamCapture err(std::cerr);
    EXPECT_EQ(send({request(c.session, "h", "p")}), c.signals);
    EXPECT_EQ(err.take(), c.log);
  }
  // An answer for -1 goes nowhere, although this connection's last record was -1's.
  send({request(-1, "h", "p")});
  StreamCapture log(std::clog);
  EXPECT_FALSE(ModemFactory::instance().SendAuth(Auth::accept(-1)));
  EXPECT_EQ(log.take(), "modem[4,3]: send error: unknown auth -1 session.\n");
  run({"{ seq 8, slot 3, pdu command : destroy : NULL }",
       "{ seq 9, slot 4, pdu command : destroy : NULL }",
       "{ seq 10, slot 5, pdu command : destroy : NULL }"});
  until([](const Lines&) { return ModemFactory::instance().modems.size() == 1; });
  sim("net remove 0");
  ModemFactory::instance().IQuery();
}

// The controller's activation goes back to the connection of the slot's session as an accept
// record and an IP record, an empty address text as 0; a text that is not an address, or a
// negative MTU, which the record cannot carry, is refused and nothing is sent.
TEST_F(AuthRelay, ActivationAnswersOnTheSessionsConnection) {
  struct Case {
    const char* name;
    const char* gateway;
    std::string gateway_word;
    int mtu;
    const char* log;
  };
  const std::string kAccept = be32(16) + be32(2) + be32(0) + be32(1);
  for (const Case& c :
       {Case{"address", "127.0.0.1", be32(0x7f000001), 1400, ""},
        Case{"all ones", "255.255.255.255", be32(0xffffffff), 1400, ""},
        Case{"none", "", be32(0), 1400, ""},
        Case{"not an address", "gw.invalid", "", 1400,
             "01:dsp-modem: IP parameters: not an address: \"gw.invalid\", refused\n"},
        Case{"negative mtu", "127.0.0.1", "", -1,
             "01:dsp-modem: modem's activation: negative mtu -1, refused\n"}}) {
    SCOPED_TRACE(c.name);
    const bool refused = *c.log != '\0';
    send({request(0, "a", "b")});
    StreamCapture err(std::cerr);
    EXPECT_EQ(run({std::string("{ seq 4, slot 1, pdu command : activate : modem : { remoteAddr "
                               "\"127.0.0.7\", netmask \"255.255.255.0\", gateway \"") +
                   c.gateway + "\", dns \"127.0.0.53\", mtu " + std::to_string(c.mtu) + " } }"}),
              wires({reply(4, 1, refused ? "error : invalidParams" : "success : NULL")}));
    EXPECT_EQ(err.take(), c.log);
    const std::string want =
        refused ? "" : kAccept + be32(36) + be32(3) + be32(0) + be32(0) + be32(0x7f000007) +
                             be32(0xffffff00) + c.gateway_word + be32(0x7f000035) +
                             be32(static_cast<uint32_t>(c.mtu));
    EXPECT_EQ(answer_on(peer_, refused ? 100 : 1000), want);
  }
}

// Beyond the limit a new connection takes the place of the oldest one, with one log line for
// the burst: the fixture's connection first, then the crowd's in their order.
TEST_F(AuthRelay, ConnectionsBeyondTheLimitTakeTheOldestPlaces) {
  auto& clients = ModemFactory::instance().clients;
  StreamCapture err(std::cerr);
  std::vector<Fd> peers;
  for (size_t i = 0; i < ModemFactory::kMaxAuthClients + 9; ++i) {
    peers.push_back(connect_loopback(ModemFactory::kAuthPort));
    ASSERT_TRUE(peers.back());
    turns(1);
  }
  until([&](const Lines&) { return std::all_of(peers.begin(), peers.begin() + 9, closed); });
  EXPECT_TRUE(closed_by_daemon());
  EXPECT_EQ(std::count_if(peers.begin(), peers.end(), closed), 9);
  EXPECT_EQ(clients.size(), ModemFactory::kMaxAuthClients);
  const Lines taken = lines_of(err, "modem[4,1]: auth client 127.0.0.1:");
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_NE(taken[0].find(": closed, its place taken by a new connection"), std::string::npos);
  peers.clear();
  until([&](const Lines&) { return clients.empty(); });
}

// Out of descriptors, a queued connection cannot be taken and keeps the listener readable: the
// listener rests between tries instead of waking the loop at every turn, and the connections
// are taken once accept works again.
TEST_F(AuthRelay, OutOfDescriptorsRestsTheListener) {
  struct OutOfDescriptors {
    OutOfDescriptors() {
      ModemFactory::accept_socket = [](int, sockaddr*, socklen_t*, int) {
        errno = EMFILE;
        return -1;
      };
    }
    ~OutOfDescriptors() { ModemFactory::accept_socket = ::accept4; }
  };
  auto& factory = ModemFactory::instance();
  StreamCapture err(std::cerr);
  std::vector<Fd> peers;
  std::vector<unsigned> tries;
  {
    OutOfDescriptors out;
    for (int i = 0; i < 3; ++i) peers.push_back(connect_loopback(ModemFactory::kAuthPort));
    const unsigned before = factory.server.hits();
    for (unsigned ms : {0u, ModemFactory::kAcceptPauseMs - 1, 1u, ModemFactory::kAcceptPauseMs}) {
      advance(ms);
      turns(20);
      tries.push_back(factory.server.hits() - before);
    }
  }
  EXPECT_EQ(tries, (std::vector<unsigned>{1, 1, 2, 3}));
  EXPECT_EQ(factory.clients.size(), 1u);
  // One line for the burst.
  EXPECT_EQ(lines_of(err, "modem[4,1]: fail to accept"),
            Lines{"modem[4,1]: fail to accept auth connection: Too many open files"});
  advance(ModemFactory::kAcceptPauseMs);
  until([&](const Lines&) { return factory.clients.size() == 4; });
  EXPECT_EQ(factory.clients.size(), 4u);
  peers.clear();
  until([&](const Lines&) { return factory.clients.size() == 1; });
}

// What other local clients do keeps no authentication program from its answer, and a fax
// program gets its modem to itself. Each case starts from the fixture (modem 0's pppd, session
// 0, and the fixture's connection) with no request of the session open.
TEST_F(AuthRelay, LocalClientsKeepNoProgramFromItsModem) {
  auto& factory = ModemFactory::instance();
  std::vector<Fd> crowd;
  // A local program's connection that has written `bytes`.
  const auto program = [&](const std::string& bytes) {
    Fd fd = connect_loopback(ModemFactory::kAuthPort);
    EXPECT_EQ(::write(fd.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    return fd;
  };
  // Fills the relay with such connections.
  const auto fill = [&](const std::string& bytes) {
    while (crowd.size() < ModemFactory::kMaxAuthClients) {
      crowd.push_back(program(bytes));
      turns(1);
    }
  };
  const Lines alice = wires({auth_signal("alice", "secret")});
  // The controller's activation of modem 0's slot, which answers the session's program.
  const auto activate = [&](int slot = 1) {
    return run({"{ seq 4, slot " + std::to_string(slot) +
                ", pdu command : activate : modem : { remoteAddr \"127.0.0.7\", netmask "
                "\"255.255.255.255\", gateway \"\", dns \"\", mtu 1400 } }"});
  };
  const std::string activated = wire(reply(4, 1, "success : NULL"));
  // 100 connections ask for session 0 in turn within a second, each once, and the controller
  // answers each auth signal `answer_ms` later: at most kMaxReportsPerSecond signals in any
  // second, the last of them `last_heard`'s, and an answer for the connection that asked last.
  const auto ask_in_turn = [&](uint32_t answer_ms, const char* last_heard) {
    std::vector<uint32_t> heard;
    std::string last;
    size_t answered = 0;
    const auto hear = [&](const Lines& got) {
      for (const std::string& m : got) {
        if (m == activated) continue;
        heard.push_back(Mux::milliseconds());
        last = m;
      }
    };
    const auto tick = [&](uint32_t ms) {
      advance(ms);
      hear(arrived());
      for (; answered < heard.size() && Mux::milliseconds() - heard[answered] >= answer_ms;
           ++answered) {
        hear(activate());
      }
    };
    for (int i = 0; i < 100; ++i) {
      crowd.push_back(program(request(0, "u" + std::to_string(i), "p")));
      tick(9);
    }
    for (int t = 0; t < 400; ++t) tick(10);
    const size_t most = AuthSession::kMaxReportsPerSecond;
    for (size_t i = 0; i + most < heard.size(); ++i) {
      EXPECT_GE(heard[i + most] - heard[i], 1000u) << "signal " << i;
    }
    EXPECT_EQ(last, wire(auth_signal(last_heard, "p")));
    EXPECT_EQ(answer_on(crowd.back(), 1000).size(), 52u) << "the last asker's answer";
  };
  // 64 calls whose programs have been answered, each asked for again by a local process every
  // second, on the connection of its first request or (`fresh`) on a new one each time, while
  // the 65th call's program tries every second: it is served within the answer time plus 1 s.
  // Left alone, the crowd waits no longer than its answer time, and is closed at its deadline.
  const auto reasking_crowd = [&](bool fresh) {
    sim("mctl modems 65");
    for (int i = 0; i < 64; ++i) {
      call_modem(10 + 2 * i, "cid \"\", cdid \"\", originate NULL, fax NULL",
                 "trunk " + std::to_string(1 + i / 31) + ", timeslot " + std::to_string(1 + i % 31));
    }
    std::vector<std::pair<int, int>> calls;  // slot, session
    for (DspModemSlot* m : factory.dsp_modems) {
      if (m->number != 1) calls.emplace_back(m->number, m->modem_id());
    }
    ASSERT_EQ(calls.size(), 64u);
    const auto ask_again = [&](size_t i) {
      const std::string again = request(calls[i].second, "x", "y");
      if (!fresh) {
        // The one whose place was taken writes into the void.
        ::send(crowd[i].get(), again.data(), again.size(), MSG_NOSIGNAL);
        return;
      }
      crowd.push_back(program(again));
      turns(1);
    };
    for (size_t i = 0; i < calls.size(); ++i) {
      crowd.push_back(program(request(calls[i].second, "x", "y")));
      until([&](const Lines& l) { return !l.empty(); });
      activate(calls[i].first);
      ask_again(i);
      until([&](const Lines& l) { return !l.empty(); });
    }
    ASSERT_EQ(factory.clients.size(), ModemFactory::kMaxAuthClients);
    ASSERT_TRUE(std::all_of(factory.clients.begin(), factory.clients.end(),
                            [](const AuthClient* c) { return c->waiting(); }));
    unsigned waited = 0;
    bool served = false;
    for (; !served && waited <= 2 * AuthSession::kAnswerWaitMs; waited += 1000) {
      advance(1000);
      for (size_t i = 0; i < calls.size(); ++i) ask_again(i);
      arrived();
      Fd real = program(request(0, "alice", "secret"));
      for (const std::string& m : arrived()) served = served || m == alice[0];
    }
    EXPECT_TRUE(served);
    EXPECT_LE(waited, AuthSession::kAnswerWaitMs + 1000);
    advance(AuthSession::kAnswerWaitMs + 1000);
    advance(AuthClient::kRecordDeadlineMs);
    EXPECT_TRUE(std::all_of(crowd.begin(), crowd.end(), closed));
    for (const auto& call : calls) end_call(call.first);
    sim("mctl modems 4");
  };

  struct Case {
    const char* name;
    std::function<void()> run;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"64 connections that sent a whole record and then nothing",
            [&] {
              fill(request(7, "a", "b"));
              crowd.push_back(program(be32(12) + be32(9) + be32(0)));
              Fd real = program(request(0, "alice", "secret"));
              EXPECT_EQ(until([](const Lines& l) { return !l.empty(); }), alice);
              // A connection that waits for nothing has a deadline after its record too.
              advance(AuthClient::kRecordDeadlineMs);
              ASSERT_EQ(factory.clients.size(), 1u);
              EXPECT_TRUE(factory.clients.front()->waiting());
            }},
           {"64 connections that trickle bytes and reconnect when closed",
            [&] {
              const std::string byte(1, '\0');
              fill(byte);
              const auto reconnect = [&] {
                for (Fd& fd : crowd) {
                  if (closed(fd)) fd = program(byte);
                }
              };
              Fd real = program(request(0, "alice", "secret"));
              EXPECT_EQ(until([&](const Lines& l) {
                          reconnect();
                          return !l.empty();
                        }),
                        alice);
            }},
           {"a program waiting for its answer while connections crowd in",
            [&] {
              Fd real = program(request(0, "alice", "secret"));
              EXPECT_EQ(until([](const Lines& l) { return !l.empty(); }), alice);
              for (size_t i = 0; i < 2 * ModemFactory::kMaxAuthClients; ++i) {
                crowd.push_back(program(""));
                turns(1);
              }
              EXPECT_EQ(activate(), wires({reply(4, 1, "success : NULL")}));
              EXPECT_EQ(answer_on(real, 1000).size(), 52u) << "the waiting place was taken";
            }},
           {"an accounting flood on the session while its auth request comes",
            [&] {
              std::string flood;
              for (int i = 0; i < 25; ++i) flood += accounting(0);
              crowd.push_back(program(flood));
              EXPECT_EQ(until([](const Lines& l) {
                          return l.size() >= AuthSession::kMaxReportsPerSecond;
                        }).size(),
                        AuthSession::kMaxReportsPerSecond);
              Fd real = program(request(0, "alice", "secret"));
              EXPECT_EQ(until([](const Lines& l) { return !l.empty(); }), alice);
              // Repeats of one connection within the second are left out.
              std::string again;
              for (int i = 0; i < 5; ++i) again += request(0, "alice", "secret");
              ASSERT_EQ(::write(real.get(), again.data(), again.size()),
                        static_cast<ssize_t>(again.size()));
              EXPECT_EQ(arrived(), Lines{});
            }},
           {"two programs of one session",
            [&] {
              EXPECT_EQ(send({request(0, "first", "1")}), wires({auth_signal("first", "1")}));
              // The later request takes the pending one's place, and is not heard again.
              Fd later = program(request(0, "alice", "secret"));
              EXPECT_EQ(until([&](const Lines&) {
                          return factory.clients.size() == 2 && factory.clients.back()->waiting();
                        }),
                        Lines{});
              EXPECT_FALSE(factory.clients.front()->waiting());
              send({accounting(0)});
              EXPECT_EQ(activate(), wires({reply(4, 1, "success : NULL")}));
              EXPECT_EQ(answer_on(later, 1000).size(), 52u) << "the accept and IP records";
              EXPECT_EQ(answer_on(peer_, 100), "");
            }},
           {"one connection's auth requests alternating between two sessions",
            [&] {
              call_modem(3);
              started("/usr/local/sbin/pppd");
              std::string both;
              for (int i = 0; i < 25; ++i) both += request(0, "a", "b") + request(1, "a", "b");
              crowd.push_back(program(both));
              Lines got = until([](const Lines& l) { return l.size() >= 2; });
              for (const auto& m : arrived()) got.push_back(m);
              EXPECT_EQ(got, wires({auth_signal("a", "b"),
                                    signal(3, "modemProceeding : auth : { username \"a\", "
                                              "password \"b\" }")}))
                  << "each session's request is heard once while pending";
            }},
           {"100 connections asking in turn, the controller answering at once",
            [&] { ask_in_turn(0, "u99"); }},
           {"100 connections asking in turn, the controller answering after 2 s",
            [&] { ask_in_turn(2000, "u0"); }},
           {"64 connections re-asking for 64 answered calls while a 65th call's program asks",
            [&] { reasking_crowd(false); }},
           {"64 new connections a second re-asking for 64 answered calls while a 65th call's "
            "program asks",
            [&] { reasking_crowd(true); }},
           {"a cid with a NUL",
            [&] {
              EXPECT_EQ(run({"{ seq 5, slot 3, pdu command : create : modem : { cid \"555\nnoauth" +
                             std::string(1, '\0') + "x\", cdid \"\" } }"}),
                        wires({reply(5, 3, "error : invalidParams")}));
              EXPECT_EQ(factory.modems.size(), 1u);
            }},
           {"a fax call",
            [&] {
              call_modem(3, "cid \"\", cdid \"\", fax NULL, execargs { \"f\" }");
              EXPECT_EQ(started("/usr/local/sbin/fax"),
                        (Lines{root() + "/usr/local/sbin/fax", "-m", "1", "f"}));
              EXPECT_EQ(board().command("mctl show").at(1).substr(0, 15), "1 ts=1537 free ")
                  << "the daemon holds the fax program's modem";
              EXPECT_EQ(next_call_modem(5), "/dev/mdm2");
              // The program ends at the destroy's hang-up; then the modem is free for a call.
              run({"{ seq 8, slot 3, pdu command : destroy : NULL }"});
              until([&](const Lines&) { return factory.modems.size() == 1; });
              EXPECT_EQ(next_call_modem(5), "/dev/mdm1");
            }},
       }) {
    SCOPED_TRACE(c.name);
    c.run();
    crowd.clear();
    run({"{ seq 90, slot 3, pdu command : destroy : NULL }",
         "{ seq 91, slot 4, pdu command : destroy : NULL }"});
    until([&](const Lines&) { return factory.modems.size() == 1; });
    // The session's open request, if any, goes unanswered.
    advance(AuthSession::kAnswerWaitMs);
    peer_.close();
    until([&](const Lines&) { return factory.clients.empty(); });
    ASSERT_TRUE(factory.clients.empty());
    peer_ = connect_loopback(ModemFactory::kAuthPort);
    until([&](const Lines&) { return factory.clients.size() == 1; });
  }
}

}  // namespace
