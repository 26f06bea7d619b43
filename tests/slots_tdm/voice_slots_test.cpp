// Voice play and record slots on transparent channels of the simulated
// controller, with announcement files made by sox and TCP peers on loopback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "slots/tdm/trunk_factory.h"
#include "slots/tdm/voice_factory.h"
#include "tests/slots_tdm/slot_road.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_root.h"

namespace {

constexpr int kChannel = 1024;

std::string to_hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

// Slot 1 the voice slot under test, slot 2 a trunk slot.
class VoiceRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    VoiceFactory::instance();
    LinkTrunkFactories();
  }
  void TearDown() override {
    run({"{ seq 90, slot 1, pdu command : destroy : NULL }",
         "{ seq 91, slot 2, pdu command : destroy : NULL }"});
    EXPECT_TRUE(VoiceFactory::instance().players().empty());
    EXPECT_TRUE(VoiceFactory::instance().recorders().empty());
    SlotRoad::TearDown();
  }
  void create(const std::string& voice) {
    const Lines got = run({"{ seq 1, slot 1, pdu command : create : voice : " + voice + " }",
                           "{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, "
                           "timeslot 1 } }"});
    EXPECT_EQ(got.at(0), wire(reply(1, 1, "success : NULL")));
  }
  // `got` and what arrives until the abort signal.
  Lines until_abort(Lines got = {}) {
    const std::string abort = wire(signal(1, "abort : 0"));
    for (const auto& m : until([&](const Lines& l) {
           return (!l.empty() && l.back() == abort) || (!got.empty() && got.back() == abort);
         }))
      got.push_back(m);
    return got;
  }
  // Every byte the daemon sent on the channel.
  static std::string sent() {
    std::string all;
    for (const auto& frame : board().command("mcc sent " + std::to_string(kChannel))) all += frame;
    return all;
  }
  static std::string voice_file(const std::string& name, const char* synth) {
    const std::string dir = board().root() + "/usr/local/voice/";
    const std::string path = dir + name;
    const std::string cmd = "mkdir -p $(dirname " + path +
                            ") && sox -q -n -r 8000 -c 1 -e a-law -t al " + dir + name + " synth " +
                            synth;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return to_hex(read_file(dir + name));
  }
};

TEST_F(VoiceRoad, FilesPlayInOrderRepeatTimesThenAbort) {
  const std::string a = voice_file("a.al", "1.5 sine 440");
  const std::string b = voice_file("sub/b.al", "2.2 sine 1000");
  ASSERT_EQ(a.size(), 2 * 12000u);
  create(
      "player : file : { name { \"a.al\", \"missing.al\", \"sub/b.al\" }, "
      "repeat 2 }");
  EXPECT_EQ(until_abort(run({"{ seq 3, slot 1, pdu command : connect : 2 }"})),
            wires({stream(1, "transmitter", kChannel), reply(3, 1, "success : NULL"),
                   signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")}));
  EXPECT_TRUE(sent() == a + b + a + b) << sent().size() << " hex digits";
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=2 rx-size=1024 rx-threshold=0 tx-threshold=5"});
}

// A negative count plays the list without end: it is not counted down past the lowest int.
TEST_F(VoiceRoad, NegativeRepeatPlaysWithoutEnd) {
  const std::string a = voice_file("short.al", "0.01 sine 440");
  create("player : file : { name { \"short.al\" }, repeat -2147483648 }");
  run({"{ seq 3, slot 1, pdu command : connect : 2 }"});
  const Lines got = until([&](const Lines&) { return sent().size() >= 3 * a.size(); });
  EXPECT_GE(sent().size(), 3 * a.size());
  EXPECT_EQ(std::count(got.begin(), got.end(), wire(signal(1, "abort : 0"))), 0);
}

TEST_F(VoiceRoad, NothingToPlayRefusesTheConnectionAndAbortsOnce) {
  StreamCapture err(std::cerr);
  create(
      "player : file : { name { \"missing.al\", \"../etc/passwd\", "
      "\"a/../../x\" }, repeat 0 }");
  EXPECT_EQ(run({"{ seq 3, slot 1, pdu command : connect : 2 }"}),
            wires({reply(3, 1, "error : connectFail"), signal(1, "abort : 0")}));
  EXPECT_EQ(err.take(),
            "player[1024]: skipped ../etc/passwd: outside the voice directory\n"
            "slot 01:player don't have output stream to 02:trunk\n");
  EXPECT_EQ(arrived(), Lines{});
}

// What fails at once is refused at connect, then aborted, never reported active: a folder, an
// empty name (the voice folder), a missing file, a host that is no address. A channel that
// refuses the first write is found once the path is made: the play ends after the answer.
TEST_F(VoiceRoad, AFirstFileThatFailsAtOnceRefusesTheConnection) {
  const std::string a = voice_file("a.al", "0.01 sine 440");
  voice_file("folder/b.al", "0.01 sine 440");
  const struct {
    const char* player;
    const char* board;  // run after the create, or null
    bool connects, plays;
  } rows[] = {
      {"file : { name { \"folder\" }, repeat 1 }", nullptr, false, false},
      {"file : { name { \"\" }, repeat 1 }", nullptr, false, false},
      {"file : { name { \"missing.al\" }, repeat 1 }", nullptr, false, false},
      {"file : { name { \"a.al\" }, repeat 1 }", "fail mcc/ctl write EPIPE", true, false},
      {"file : { name { \"folder\", \"\", \"a.al\" }, repeat 1 }", nullptr, true, true},
      {"network : { host { iaddr \"board\", port 9 }, id 7 }", nullptr, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.player);
    StreamCapture err(std::cerr);
    create(std::string("player : ") + row.player);
    if (row.board) sim(row.board);
    EXPECT_EQ(until_abort(run({"{ seq 3, slot 1, pdu command : connect : 2 }"})),
              row.connects
                  ? wires({stream(1, "transmitter", kChannel), reply(3, 1, "success : NULL"),
                           signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")})
                  : wires({reply(3, 1, "error : connectFail"), signal(1, "abort : 0")}));
    EXPECT_EQ(sent(), row.plays ? a : "");
    EXPECT_EQ(run({"{ seq 4, slot 1, pdu command : destroy : NULL }",
                   "{ seq 5, slot 2, pdu command : destroy : NULL }"}),
              wires({reply(4, 1, "success : NULL"), reply(5, 2, "success : NULL")}));
  }
}

// A connection the switch refuses (its path, or the idle of the old path of the line) starts
// nothing: no play into the unconnected channel, no connect to the host, no signal. Asked
// again, it is made as if the first had never been.
TEST_F(VoiceRoad, AConnectionTheSwitchRefusesStartsNothing) {
  const std::string a = voice_file("a.al", "0.01 sine 440");
  LoopbackListener host;
  const std::string at = "{ iaddr \"127.0.0.1\", port " + std::to_string(host.port()) + " }";
  const std::string file = "player : file : { name { \"a.al\" }, repeat 1 }";
  const char* path = "fail hal 0x80084d02 EIO";
  const Lines played = wires({stream(1, "transmitter", kChannel), reply(3, 1, "success : NULL"),
                              signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")});
  struct Row {
    std::string voice;  // slot 1, beside the trunk slot 2
    int from, to;       // the connection
    const char* fail;   // the request of the switch refused
    bool fed;           // slot 2 has a source first: the trunk slot 3
    Lines made;         // what the connection made brings
  };
  for (const Row& row : {
           Row{file, 1, 2, path, false, played},
           Row{file, 1, 2, "fail hal 0xc0084d04 EIO", true, played},
           Row{"player : network : { host " + at + ", id 7 }", 1, 2, path, false,
               wires({stream(1, "transmitter", kChannel), reply(3, 1, "success : NULL"),
                      signal(1, "ioctl : startPlaying : NULL")})},
           Row{"record : " + at, 2, 1, path, false, wires({reply(3, 2, "success : NULL")})},
       }) {
    SCOPED_TRACE(row.voice + ", " + row.fail);
    create(row.voice);
    if (row.fed) {
      run({"{ seq 6, slot 3, pdu command : create : trunk : { trunk 0, timeslot 2 } }",
           "{ seq 7, slot 3, pdu command : connect : 2 }"});
    }
    const std::string connect = "{ seq 3, slot " + std::to_string(row.from) +
                                ", pdu command : connect : " + std::to_string(row.to) + " }";
    EXPECT_EQ(sim(row.fail), "ok");
    EXPECT_EQ(run({connect}), wires({reply(3, row.from, "error : connectFail")}));
    advance(6000);
    EXPECT_EQ(arrived(), Lines{});
    EXPECT_EQ(sent(), "");
    EXPECT_FALSE(host.accept());
    Lines got = run({connect});
    for (const auto& m :
         until([&](const Lines& l) { return got.size() + l.size() >= row.made.size(); })) {
      got.push_back(m);
    }
    EXPECT_EQ(got, row.made);
    Fd peer;
    if (row.voice == file) {
      EXPECT_EQ(sent(), a);
    } else {
      until([&](const Lines&) { return bool(peer = host.accept()); });
      EXPECT_TRUE(peer);
    }
    run({"{ seq 4, slot 1, pdu command : destroy : NULL }",
         "{ seq 5, slot 2, pdu command : destroy : NULL }",
         "{ seq 8, slot 3, pdu command : destroy : NULL }"});
  }
}

// Endless play over nothing playable (an empty file, a FIFO without a writer, a missing and an
// empty name) ends after one pass with abort: the loop goes back to waiting, never spins.
TEST_F(VoiceRoad, EndlessPlayOfNothingEndsAndLeavesTheLoopIdle) {
  const std::string dir = board().root() + "/usr/local/voice";
  const std::string make = "cd " + dir + " && : > empty.al && rm -f fifo.al && mkfifo fifo.al";
  ASSERT_EQ(std::system(("mkdir -p " + dir + " && " + make).c_str()), 0);
  create("player : file : { name { \"empty.al\", \"fifo.al\", \"missing.al\", \"\" }, repeat 0 }");
  const std::clock_t cpu = std::clock();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  Lines got = run({"{ seq 3, slot 1, pdu command : connect : 2 }"});
  while (std::chrono::steady_clock::now() < end) {
    run_loop_turn();
    for (const auto& m : arrived()) got.push_back(m);
  }
  EXPECT_EQ(got, wires({stream(1, "transmitter", kChannel), reply(3, 1, "success : NULL"),
                        signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")}));
  EXPECT_LT(std::clock() - cpu, CLOCKS_PER_SEC * 3 / 10) << "CPU time in 1 s";
  EXPECT_EQ(sent(), "");
  for (const char* name : {"/fifo.al", "/empty.al"}) ::unlink((dir + name).c_str());
}

TEST_F(VoiceRoad, NetworkPlaySendsTheIdAndCopiesTheStream) {
  LoopbackListener server;
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  create("player : network : { host { iaddr \"127.0.0.1\", port " + std::to_string(server.port()) +
         " }, id 7 }");
  StreamCapture log(std::clog);
  EXPECT_EQ(run({"{ seq 3, slot 1, pdu command : connect : 2 }"}),
            wires({stream(1, "transmitter", kChannel), reply(3, 1, "success : NULL"),
                   signal(1, "ioctl : startPlaying : NULL")}));
  Fd peer;
  until([&](const Lines&) { return bool(peer = server.accept()); });
  ASSERT_TRUE(peer);
  char id[4] = {};
  ASSERT_EQ(::read(peer.get(), id, 4), 4);
  EXPECT_EQ(to_hex(std::string(id, 4)), "00000007");
  ASSERT_EQ(::write(peer.get(), "\x01\x02\x03", 3), 3);
  until([](const Lines&) { return !sent().empty(); });
  EXPECT_EQ(sent(), "010203");
  peer.close();
  EXPECT_EQ(until_abort(),
            wires({signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")}));
  EXPECT_NE(log.take().find("player[1024]: connection to " + host + " closed.\n"),
            std::string::npos);
}

TEST_F(VoiceRoad, RecordingCopiesTheChannelToTheReceiver) {
  LoopbackListener receiver;
  EXPECT_EQ(run({"{ seq 1, slot 1, pdu command : create : voice : record : { iaddr "
                 "\"127.0.0.1\", port " +
                 std::to_string(receiver.port()) + " } }"}),
            wires({reply(1, 1, "success : NULL"), stream(1, "receiver", kChannel)}));
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=2 rx-size=1024 rx-threshold=5 tx-threshold=0"});
  run(
      {"{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 "
       "} }",
       "{ seq 3, slot 2, pdu command : connect : 1 }"});
  EXPECT_EQ(output(kChannel), "1");
  Fd peer;
  until([&](const Lines&) { return bool(peer = receiver.accept()); });
  ASSERT_TRUE(peer);
  auto receive = [&](size_t n) {
    std::string got;
    until([&](const Lines&) {
      char buf[64];
      const ssize_t r = ::read(peer.get(), buf, sizeof buf);
      if (r > 0) got.append(buf, static_cast<size_t>(r));
      return got.size() >= n;
    });
    return to_hex(got);
  };
  sim("mcc rx 1024 a1a2");
  sim("mcc rx 1024 b3");
  EXPECT_EQ(receive(3), "a1a2b3");
  // The copy goes on without a source.
  run({"{ seq 4, slot 2, pdu command : disconnect : NULL }"});
  sim("mcc rx 1024 c4");
  EXPECT_EQ(receive(1), "c4");
  EXPECT_EQ(arrived(), Lines{});
}

TEST_F(VoiceRoad, UnreachableReceiverStopsTheRecording) {
  const unsigned short port = free_port();
  run(
      {"{ seq 1, slot 1, pdu command : create : voice : record : { iaddr "
       "\"127.0.0.1\", port " +
           std::to_string(port) + " } }",
       "{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 "
       "} }"});
  const std::string stop = wire(signal(1, "ioctl : stopRecording : connectionFail"));
  Lines got = run({"{ seq 3, slot 2, pdu command : connect : 1 }"});
  for (unsigned ms = 0; ms < 5000 && std::find(got.begin(), got.end(), stop) == got.end();
       ms += 100) {
    advance(100);
    for (const auto& m : arrived()) got.push_back(m);
  }
  EXPECT_EQ(got.back(), stop);
  EXPECT_EQ(run({"{ seq 4, slot 1, pdu command : ioctl : activateRecord : { "
                 "iaddr \"127.0.0.1\", port 9 } }"}),
            wires({reply(4, 1, "error : unsupported")}));
  // A host that is no address refuses the source at once; no recording has begun to stop.
  run({"{ seq 5, slot 3, pdu command : create : voice : record : { iaddr \"board\", port 9 } }"});
  EXPECT_EQ(run({"{ seq 6, slot 2, pdu command : connect : 3 }",
                 "{ seq 7, slot 3, pdu command : destroy : NULL }"}),
            wires({reply(6, 2, "error : connectFail"), reply(7, 3, "success : NULL")}));
}

}  // namespace
