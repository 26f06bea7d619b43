// The control server on a real acceptor: frames in from a loopback peer, responses and signals
// out, with scripted services behind it.
#include "control/ctrl_server.h"

#include <gtest/gtest.h>

#include "tests/control/server_fixture.h"

namespace {

struct DispatchCase {
  const char* name;
  Script a, b;
  const char* command;
  std::vector<const char*> responses;
  std::vector<const char*> offered;
};

class Dispatch : public CtrlServerTest, public testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, OneResponsePerCommand) {
  const DispatchCase& c = GetParam();
  a_.on_command = c.a;
  b_.on_command = c.b;
  connect();
  std::vector<std::string> expected;
  for (const char* r : c.responses) expected.push_back(wire(r));
  EXPECT_EQ(exchange(wire(c.command)), expected);
  EXPECT_EQ(log_, std::vector<std::string>(c.offered.begin(), c.offered.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Dispatch,
    testing::Values(
        DispatchCase{"NeitherSeqNorSlot", nullptr, answer_success, "query : NULL",
                     {"{ pdu response : success : NULL }"},
                     {"a command query", "b command query"}},
        DispatchCase{"SuccessThenError",
                     [](TestService& s, const LGCP::Command&) {
                       s.Success();
                       s.Error(LGCP::ErrorCause::busError);
                       s.Error(LGCP::ErrorCause::internal);
                       return true;
                     },
                     nullptr, "{ seq 1, pdu command : ping : NULL }",
                     {"{ seq 1, pdu response : success : NULL }",
                      "{ seq 1, pdu response : error : busError }"},
                     {"a command ping"}},
        DispatchCase{"ErrorThenSuccess",
                     [](TestService& s, const LGCP::Command&) {
                       s.Error(LGCP::ErrorCause::slotNotExists);
                       s.Success();
                       return true;
                     },
                     nullptr, "{ seq 1, slot 8, pdu command : ping : NULL }",
                     {"{ seq 1, slot 8, pdu response : error : slotNotExists }"},
                     {"a command ping"}},
        DispatchCase{"DelayedThenSuccessIgnored",
                     [](TestService& s, const LGCP::Command&) {
                       s.delayResponse();
                       s.Success();
                       return true;
                     },
                     nullptr, "{ seq 1, pdu command : ping : NULL }", {},
                     {"a command ping"}},
        DispatchCase{"DeclineThenAnswer", nullptr,
                     [](TestService& s, const LGCP::Command&) {
                       s.Error(LGCP::ErrorCause::unsupported);
                       return true;
                     },
                     "{ seq 6, slot 1023, pdu command : query : NULL }",
                     {"{ seq 6, slot 1023, pdu response : error : unsupported }"},
                     {"a command query", "b command query"}}),
    [](const testing::TestParamInfo<DispatchCase>& info) { return std::string(info.param.name); });

TEST_F(CtrlServerTest, DelayedSuccessCarriesLastSeq) {
  unsigned delayed_seq = 0;
  a_.on_command = [&](TestService& s, const LGCP::Command& c) {
    if (c.is_ping()) {
      s.Success();
    } else {
      delayed_seq = s.delayResponse();
    }
    return true;
  };
  connect();
  exchange(wire("destroy : NULL"));
  EXPECT_EQ(delayed_seq, 0u);
  exchange(wire("{ seq 41, pdu command : ping : NULL }"));
  EXPECT_EQ(exchange(wire("{ slot 12, pdu command : destroy : NULL }")),
            std::vector<std::string>{});
  EXPECT_EQ(delayed_seq, 41u);
  a_.delayedSuccess(12, delayed_seq);
  turns();
  EXPECT_EQ(frames(peer_.read()),
            std::vector<std::string>{wire("{ seq 41, slot 12, pdu response : success : NULL }")});
}

TEST_F(CtrlServerTest, SignalsFanOutBeforeTheController) {
  server_.Bind(&c_);
  std::string sent_when_b_heard;
  b_.on_signal = [&](TestService&, const LGCP::Signal& s) {
    if (s.is_activated()) sent_when_b_heard = peer_.read();
  };
  a_.on_command = [](TestService& s, const LGCP::Command&) {
    s.SendSignal(lgcp_signal("activated : NULL"));
    s.SendSignal(9, lgcp_signal("number : \"12\""));
    s.Success();
    return true;
  };
  connect();
  EXPECT_EQ(exchange(wire("{ seq 3, slot 4, pdu command : ping : NULL }")),
            (std::vector<std::string>{wire("{ slot 4, pdu signal : activated : NULL }"),
                                      wire("{ slot 9, pdu signal : number : \"12\" }"),
                                      wire("{ seq 3, slot 4, pdu response : success : NULL }")}));
  EXPECT_EQ(sent_when_b_heard, "");
  EXPECT_EQ(log_, (std::vector<std::string>{"a command ping", "b signal activated",
                                            "c signal activated", "b signal number",
                                            "c signal number"}));

  // Between commands a signal carries no slot unless given one.
  log_.clear();
  b_.SendSignal(lgcp_signal("activated : NULL"));
  turns();
  EXPECT_EQ(frames(peer_.read()),
            std::vector<std::string>{wire("{ pdu signal : activated : NULL }")});
  EXPECT_EQ(log_, (std::vector<std::string>{"a signal activated", "c signal activated"}));
}

TEST_F(CtrlServerTest, SignalSentFromOnSignalFansOutInTurn) {
  a_.on_signal = [](TestService& s, const LGCP::Signal& sig) {
    if (sig.is_activated()) s.SendSignal(lgcp_signal("number : \"1\""));
  };
  connect();
  b_.SendSignal(lgcp_signal("activated : NULL"));
  turns();
  EXPECT_EQ(frames(peer_.read()),
            (std::vector<std::string>{wire("{ pdu signal : number : \"1\" }"),
                                      wire("{ pdu signal : activated : NULL }")}));
  EXPECT_EQ(log_, (std::vector<std::string>{"a signal activated", "b signal number"}));
}

TEST_F(CtrlServerTest, UnencodableSignalIsLoggedAndDropped) {
  connect();
  a_.SendSignal(LGCP::Signal());
  turns();
  EXPECT_EQ(peer_.read(), "");
  EXPECT_NE(logs_.err.take().find("send fail: encode error!"), std::string::npos);
}

// Faults that the controller's commands or the peers behind the slots can repeat at any rate:
// one line a second per kind, and one kind hides no other (nor do the lines after it: the
// message that does not encode does not print either, and leaves the log stream as it was); the
// controller leaving writes the counts still owed.
TEST_F(CtrlServerTest, RepeatedFaultsAreLoggedOnceASecondPerKind) {
  a_.on_command = [](TestService&, const LGCP::Command&) { return true; };
  connect();
  const std::string no_ack = "]: software error: server do NOT send ack!!!";
  const auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(exchange(wire("{ seq 1, pdu command : ping : NULL }")),
              std::vector<std::string>{wire("{ seq 1, pdu response : error : internal }")});
    a_.SendSignal(LGCP::Signal());
  }
  std::string text = logs_.err.take();
  EXPECT_EQ(count(text, no_ack + "\nplease report this fault"), 1u) << text;
  EXPECT_EQ(count(text, "send fail: encode error!"), 1u) << text;
  advance(1000);
  EXPECT_EQ(exchange(wire("{ seq 1, pdu command : ping : NULL }")),
            std::vector<std::string>{wire("{ seq 1, pdu response : error : internal }")});
  text = logs_.err.take();
  EXPECT_EQ(count(text, no_ack + " (9 similar lines left out)\nplease report"), 1u) << text;
  // The controller leaves: the count still owed follows.
  for (int i = 0; i < 3; ++i) a_.SendSignal(LGCP::Signal());
  EXPECT_EQ(count(logs_.err.take(), " (9 similar lines left out)\n"), 1u);
  peer_ = TcpPeer();
  turns(3);
  text = logs_.err.take();
  EXPECT_EQ(count(text, "]: send fail: encode error! (1 similar lines left out)\n"), 1u) << text;
  EXPECT_EQ(count(text, "software error"), 0u) << text;
}

TEST_F(CtrlServerTest, ServicesHearConnectAndDisconnectInBindOrder) {
  connect();
  EXPECT_NE(logs_.log.take().find("]: controller connect.\n"), std::string::npos);
  peer_ = TcpPeer();
  turns(3);
  EXPECT_EQ(log_, (std::vector<std::string>{"a disconnect", "b disconnect"}));
  bool up = true;
  EXPECT_TRUE(server_.CheckServerConnection(up));
  EXPECT_FALSE(up);
  log_.clear();
  server_.Deactivate();
  EXPECT_EQ(log_, (std::vector<std::string>{"a disconnect", "b disconnect"}));
  EXPECT_FALSE(server_.CheckServerConnection(up));
}

TEST_F(CtrlServerTest, FloodOfCommandsIsAnsweredOnceInOrderOverLoopTurns) {
  a_.on_command = answer_success;
  connect();
  const unsigned total = 4000;
  std::string flood, expected;
  for (unsigned i = 1; i <= total; ++i) {
    const std::string seq = "{ seq " + std::to_string(i);
    flood += tpkt(bytes_of(wire(seq + ", pdu command : ping : NULL }")));
    expected += tpkt(bytes_of(wire(seq + ", pdu response : success : NULL }")));
  }
  peer_.send(flood);
  std::string got;
  unsigned turns_taken = 0;
  while (log_.size() < total && turns_taken < 100) {
    turns();
    ++turns_taken;
    // Each turn handles at most 64 commands, so timers and the watchdog keep running.
    ASSERT_LE(log_.size(), 64u * turns_taken);
    got += peer_.read();
  }
  turns();
  got += peer_.read();
  EXPECT_EQ(turns_taken, (total + 63) / 64);
  EXPECT_EQ(log_.size(), total);
  EXPECT_TRUE(got == expected) << "each command answered once, in order";
}

// A controller that sends its commands and then shuts its sending side still reads: every
// command is answered, delayed answers included, and only then is the connection closed. The
// clock moves a second a turn, so the connection check runs between the batches.
TEST_F(CtrlServerTest, HalfClosedControllerIsAnsweredThenClosed) {
  a_.on_command = [](TestService& s, const LGCP::Command& c) {
    if (c.is_destroy()) {
      s.delayResponse();
    } else {
      s.Success();
    }
    return true;
  };
  struct Case {
    const char* name;
    unsigned pings;
    bool delayed;  // a destroy whose answer comes later follows the pings
  } cases[] = {{"pings", 1000, false}, {"a delayed answer", 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connect();
    std::string batch, expected;
    for (unsigned i = 1; i <= c.pings; ++i) {
      const std::string seq = "{ seq " + std::to_string(i);
      batch += tpkt(bytes_of(wire(seq + ", pdu command : ping : NULL }")));
      expected += tpkt(bytes_of(wire(seq + ", pdu response : success : NULL }")));
    }
    if (c.delayed)
      batch += tpkt(bytes_of(wire("{ seq 90, slot 3, pdu command : destroy : NULL }")));
    peer_.send(batch);
    ASSERT_EQ(::shutdown(peer_.fd().get(), SHUT_WR), 0);
    std::string got;
    for (unsigned turn = 0; turn < c.pings / 64 + 3; ++turn) {
      advance(1000);
      got += peer_.read();
    }
    if (c.delayed) {
      EXPECT_FALSE(peer_.eof()) << "a delayed answer is owed";
      a_.delayedSuccess(3, 90);
      expected += tpkt(bytes_of(wire("{ seq 90, slot 3, pdu response : success : NULL }")));
      turns();
    }
    got += peer_.read();
    EXPECT_EQ(frames(got).size(), frames(expected).size());
    EXPECT_TRUE(got == expected) << "each command answered once, in order";
    EXPECT_TRUE(peer_.eof());
    turns();
    bool up = true;
    EXPECT_TRUE(server_.CheckServerConnection(up));
    EXPECT_FALSE(up);
  }
}

TEST_F(CtrlServerTest, UndecodableFramesAreLoggedOnceASecondWithTheirHeadOnly) {
  connect();
  const std::string junk = tpkt(std::string(1000, '\xff'));
  const std::string dump = " msg: " + std::string(256 * 3, ' ') + "... (1000 octets)\n";
  std::string cut = dump;
  for (size_t i = 0; i < 256; ++i) cut.replace(6 + 3 * i, 2, "FF");
  const auto lines_after = [](const std::string& log, const std::string& marker) {
    const size_t at = log.find(marker);
    return at == std::string::npos ? std::string("(none)") : log.substr(at + marker.size());
  };
  const std::string marker = "]: receive fail: decode error!";
  peer_.send(junk + junk + junk + junk + junk);
  turns(2);
  EXPECT_EQ(lines_after(logs_.err.take(), marker), "\n" + cut);
  EXPECT_EQ(peer_.read(), "") << "no response to a frame that does not decode";
  Mux::TestClock::advance_ms(1000);
  peer_.send(junk);
  turns(2);
  EXPECT_EQ(lines_after(logs_.err.take(), marker), " (4 similar lines left out)\n" + cut);
  peer_.send(junk + junk);
  turns(2);
  EXPECT_EQ(logs_.err.take(), "");
  // The controller leaves: the count still owed is written.
  peer_ = TcpPeer();
  turns(3);
  EXPECT_EQ(lines_after(logs_.err.take(), marker), " (1 similar lines left out)\n");
}

// A message cut short fails to decode; the seq read before the failure is answered with an
// error (with the slot, when that was read too), a message without a whole seq gets nothing.
TEST_F(CtrlServerTest, UndecodableMessageIsAnsweredWhenItsSeqWasRead) {
  struct Case {
    const char* command;
    size_t kept;  // octets of its encoding sent; 0: all but the last
    const char* response;  // null: none
  };
  const char* trunk = "pdu command : create : trunk : { trunk 1, timeslot 2 } }";
  const std::string seq_only = std::string("{ seq 7, ") + trunk;
  const std::string seq_slot = std::string("{ seq 7, slot 1023, ") + trunk;
  const std::string slot_only = std::string("{ slot 5, ") + trunk;
  const Case cases[] = {
      {seq_only.c_str(), 0, "{ seq 7, pdu response : error : invalidParams }"},
      {seq_slot.c_str(), 0, "{ seq 7, slot 1023, pdu response : error : invalidParams }"},
      {slot_only.c_str(), 0, nullptr},
      // The preamble, the length of seq and one of its three octets.
      {"{ seq 300000, pdu command : ping : NULL }", 3, nullptr},
      // seq whole, slot cut.
      {"{ seq 300000, slot 1023, pdu command : ping : NULL }", 6,
       "{ seq 300000, pdu response : error : invalidParams }"},
  };
  a_.on_command = answer_success;
  connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const std::string whole = wire(c.command);
    const size_t octets = c.kept ? c.kept : whole.size() / 2 - 1;
    ASSERT_LT(octets, whole.size() / 2);
    std::vector<std::string> expected;
    if (c.response) expected.push_back(wire(c.response));
    EXPECT_EQ(exchange(whole.substr(0, 2 * octets)), expected);
    // The next command is served as ever, without the failed one's seq or slot.
    EXPECT_EQ(exchange(wire("ping : NULL")),
              std::vector<std::string>{wire("{ pdu response : success : NULL }")});
  }
  EXPECT_EQ(log_.size(), std::size(cases)) << "only the pings reach the services";
  logs_.err.take();
}

TEST(CtrlService, UnboundServiceDoesNothing) {
  std::vector<std::string> log;
  TestService s("s", &log);
  StreamCapture err(std::cerr);
  bool up = false;
  EXPECT_FALSE(s.CheckServerConnection(up));
  EXPECT_EQ(s.delayResponse(), ~0u);
  s.Success();
  s.SendSignal(lgcp_signal("activated : NULL"));
}

}  // namespace
