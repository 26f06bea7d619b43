// Trunk channel slots on orvexd and the simulated board: the controller creates E1 and BRI
// trunk slots, learns their switch channels, connects and destroys them, and the simulator's
// switch table shows what the hardware carries. Losing the controller frees every path; so does
// the start of a daemon after one that was killed. A board restarted under the daemon refuses
// the paths of later connections, and the connections are refused with them.
#include <signal.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"

namespace {

using TrunkSlots = DaemonOnBoard;

TEST_F(TrunkSlots, CreateConnectDestroyAndLoseTheController) {
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : trunk : { trunk 1, timeslot 5 } }"),
            wire(success(1, 1)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 1, pdu signal : transmitter : active : 37 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 1, pdu signal : receiver : active : 37 }"));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 3, timeslot 2 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 2, pdu signal : transmitter : active : 14 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 2, pdu signal : receiver : active : 14 }"));

  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : connect : 2 }"), wire(success(3, 1)));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : connect : 1 }"), wire(success(4, 2)));
  EXPECT_EQ(output(14), "37");
  EXPECT_EQ(output(37), "14");

  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : destroy : NULL }"), wire(success(5, 1)));
  EXPECT_EQ(output(37), "const 0xd5");
  EXPECT_EQ(answer("{ seq 6, slot 1, pdu command : connect : 2 }"),
            wire("{ seq 6, slot 1, pdu response : error : slotNotExists }"));

  EXPECT_EQ(answer("{ seq 7, slot 3, pdu command : create : trunk : { trunk 2, timeslot 0 } }"),
            wire(success(7, 3)));
  EXPECT_EQ(answer("{ seq 8, slot 3, pdu command : connect : 2 }"), wire(success(8, 3)));
  EXPECT_EQ(output(14), "64");

  // A lost controller: every slot goes, and with it every path.
  ctl_.close();
  attach();
  EXPECT_EQ(answer("{ seq 9, slot 3, pdu command : destroy : NULL }"),
            wire("{ seq 9, slot 3, pdu response : error : slotNotExists }"));
  EXPECT_EQ(output(14), "const 0xd5");
  EXPECT_EQ(daemon_.output().find("trunk-slot: "), std::string::npos);
}

// Trunk 0/1 and 1/1 connected both ways, the daemon killed: the paths stay on the board until
// the next daemon starts, which idles every trunk output before it serves a command.
TEST_F(TrunkSlots, ADaemonStartedAfterAKilledOneIdlesTheTrunkOutputs) {
  succeed({"{ slot 1, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
           "{ slot 2, pdu command : create : trunk : { trunk 1, timeslot 1 } }",
           "{ slot 1, pdu command : connect : 2 }", "{ slot 2, pdu command : connect : 1 }"});
  ASSERT_EQ(output(1), "33");
  ASSERT_EQ(output(33), "1");

  ASSERT_TRUE(daemon_.signal(SIGKILL));
  int status = 0;
  ASSERT_TRUE(daemon_.wait_exit(status));
  ctl_.close();
  EXPECT_EQ(output(1), "33");
  EXPECT_EQ(output(33), "1");

  port_ = free_port();
  ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
  ASSERT_TRUE(daemon_.wait_output("Starting server"));
  EXPECT_EQ(output(1), "const 0xd5");
  EXPECT_EQ(output(33), "const 0xd5");
  attach();
}

// After the board restarts under the daemon, the switch refuses every request on the daemon's
// old descriptor: a connection whose path the switch does not make is answered connectFail, a
// trunk feeding a signalling link's channel as well as one trunk feeding another, and the
// switch's failures leave one line a kind, however many connections are tried.
TEST_F(TrunkSlots, ABoardRestartedUnderTheDaemonFailsTheConnections) {
  succeed({"{ slot 1, pdu command : create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, "
           "emergency FALSE } }",
           "{ slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
           "{ slot 3, pdu command : create : trunk : { trunk 0, timeslot 2 } }"});
  ASSERT_TRUE(board_.restart());

  const struct {
    int slot, sink;
  } connections[] = {{2, 1}, {2, 3}, {3, 1}};
  for (int round = 0; round < 20; ++round) {
    for (const auto& c : connections) {
      SCOPED_TRACE(std::to_string(c.slot) + " -> " + std::to_string(c.sink));
      const std::string n = std::to_string(++seq_sent_), slot = std::to_string(c.slot);
      EXPECT_EQ(answer("{ seq " + n + ", slot " + slot + ", pdu command : connect : " +
                       std::to_string(c.sink) + " }"),
                wire("{ seq " + n + ", slot " + slot + ", pdu response : error : connectFail }"));
    }
  }
  const std::string out = daemon_.output();
  size_t lines = 0;
  for (size_t at = out.find("hwMux: "); at != std::string::npos; at = out.find("hwMux: ", at + 1))
    ++lines;
  // init, the device opened, then one line for each kind of failure: connect, disconnect.
  EXPECT_LE(lines, 4u) << out;
  EXPECT_NE(out.find("hwMux: connect "), std::string::npos) << out;
}

}  // namespace

namespace {

class TdmSlots : public DaemonOnBoard {
 protected:
  // Mixer unit 0 with 32 channels and summators of 8 inputs, known to the daemon.
  void add_mixer() {
    ASSERT_EQ(board_.command("mixer add 0 32 8").at(0), "ok");
    Ctl::Received r;
    ASSERT_TRUE(ctl_.command("query : NULL", r, wait_ms)) << ctl_.error();
    ASSERT_TRUE(ctl_.wait_for("query", r, wait_ms)) << ctl_.error();
  }
  // The answer to `pdu` (a command of slot `slot`), with the next seq, in value notation.
  std::string answer_of(int slot, const std::string& pdu) {
    const std::string seq = std::to_string(++seq_);
    const std::string got =
        answer("{ seq " + seq + ", slot " + std::to_string(slot) + ", pdu command : " + pdu + " }");
    const std::string prefix = wire("{ seq " + seq + ", slot " + std::to_string(slot) +
                                    ", pdu response : success : NULL }");
    if (got == prefix) return "success";
    for (const char* cause : {"invalidParams", "insufficientResources", "unsupported",
                              "slotNotExists", "connectFail"}) {
      if (got == wire("{ seq " + seq + ", slot " + std::to_string(slot) +
                      ", pdu response : error : " + cause + " }")) {
        return cause;
      }
    }
    return got;
  }
  // The requests the devices received since the last call, oldest first per device.
  std::vector<std::string> requests() {
    std::vector<std::string> got;
    for (const char* device : {"dsp", "dtmf", "mixer", "mcc/ctl", "dsp-data"}) {
      const std::vector<std::string> log = board_.command(std::string("log ") + device);
      size_t& seen = seen_[device];
      for (size_t i = seen; i < log.size(); ++i) got.push_back(log[i]);
      seen = log.size();
    }
    return got;
  }
  std::vector<std::string> summator(int output) {
    return board_.command("mixer summator 0 " + std::to_string(output));
  }

  int seq_ = 0;
  std::map<std::string, size_t> seen_;
};

// Each value a device's field cannot carry, and each create the board cannot serve, is refused
// with nothing sent to any device; the values at the fields' limits go out as they are.
TEST_F(TdmSlots, ValuesTheDevicesCannotCarryAreRefusedWithNothingSent) {
  add_mixer();
  ASSERT_EQ(board_.command("dsp version 2").at(0), "ok");
  ASSERT_EQ(answer_of(1, "create : mixerIn : { unit 0, channel tdm : 1 }"), "success");
  ASSERT_EQ(answer_of(2, "create : mixerOut : { unit 0, channel tdm : 2, inputs { } }"), "success");
  const std::string filter = "ioctl : tone-filter : { freq ";
  const std::string mixer_out = "create : mixerOut : { unit 0, channel tdm : 6, inputs { { "
                                "channel tdm : 1, gain ";
  const std::string hdlc = "create : hdlcParams : { trunk 1, log 0, address ";
  const std::string isdn = "create : isdn : { type bri, trunk ";
  struct Row {
    int slot;
    std::string pdu;
    const char* answer;
    const char* sent;  // what the one request sent shows; null when nothing may be sent
  };
  const Row rows[] = {
      {1, "ioctl : rx-gain : { gainDB 128 }", "invalidParams", nullptr},
      {1, "ioctl : rx-gain : { gainDB -129 }", "invalidParams", nullptr},
      {1, "ioctl : rx-gain : { gainDB 70000 }", "invalidParams", nullptr},
      {1, "ioctl : rx-gain : { gainDB -128 }", "success", "RX_GAIN gain_dB=-128"},
      {1, "ioctl : delays : { rx -1 }", "invalidParams", nullptr},
      {2, "ioctl : delays : { rx 1, tx -1 }", "invalidParams", nullptr},
      {2, "ioctl : delays : { rx 2147483647 }", "success", "DELAYS rx=2147483647 tx=0"},
      {1, filter + "70000, enable TRUE, duration-th-msec 10, det-level-dB 0 }", "invalidParams",
       nullptr},
      {1, filter + "-1, enable TRUE, duration-th-msec 10, det-level-dB 0 }", "invalidParams",
       nullptr},
      {1, filter + "1000, enable TRUE, duration-th-msec 65536, det-level-dB 0 }", "invalidParams",
       nullptr},
      {2, filter + "1000, enable TRUE, duration-th-msec 10, det-level-dB 128 }", "invalidParams",
       nullptr},
      {2, filter + "65535, enable TRUE, duration-th-msec 65535, det-level-dB -128 }", "success",
       "TONE_FILTER freq=65535 en=1 dur_th_msec=65535 det_lvl_dB=-128"},
      {1, "ioctl : vad-params : v2 : { voice-th-msec -1, silence-th-msec 0, e-th-dB 0 }",
       "invalidParams", nullptr},
      {2, "ioctl : vad-params : v2 : { voice-th-msec 0, silence-th-msec 65536, e-th-dB 0 }",
       "invalidParams", nullptr},
      {1, "ioctl : vad-params : v2 : { voice-th-msec 0, silence-th-msec 0, e-th-dB 256 }",
       "invalidParams", nullptr},
      {1, "ioctl : translateDTMF : { digits { { freq1 70000, freq2 1336 } } }", "invalidParams",
       nullptr},
      {2, "ioctl : translateDTMF : { digits { { freq1 697, freq2 -1 } } }", "invalidParams",
       nullptr},
      {1, "ioctl : translateDTMF : { digits { { freq1 697, freq2 1336 } }, amp1 65536 }",
       "invalidParams", nullptr},
      {2, "ioctl : tone-gen-enable : { freq 70000, amp 100 }", "invalidParams", nullptr},
      {2, "ioctl : tone-gen-enable : { freq 425, amp -1 }", "invalidParams", nullptr},
      {2, "ioctl : tone-gen-enable : { freq 65535, amp 65535 }", "success",
       "DTMF_DIAL ts=2049 freq1=65535 freq2=0 level1=65535 level2=0"},
      {3, mixer_out + "-1 } } }", "invalidParams", nullptr},
      {3, mixer_out + "32768 } } }", "invalidParams", nullptr},
      {3, mixer_out + "-2147483648 } } }", "invalidParams", nullptr},
      {3, hdlc + "70000 }", "invalidParams", nullptr},
      {3, hdlc + "65536 }", "invalidParams", nullptr},
      {3, hdlc + "-1 }", "invalidParams", nullptr},
      {3, isdn + "0, log 0, side user : NULL }", "insufficientResources", nullptr},
      {3, isdn + "-1, log 0, side user : NULL }", "insufficientResources", nullptr},
      {3, isdn + "9, log 0, side user : NULL }", "insufficientResources", nullptr},
      {3, "create : isdn : { type pri, trunk 5, log 0, side user : NULL }",
       "insufficientResources", nullptr},
      {3, "create : ext : { transmitter 4, receiver -8185 }", "insufficientResources", nullptr},
      {3, "create : ext : { transmitter 2048, receiver 4 }", "insufficientResources", nullptr},
  };
  requests();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pdu);
    EXPECT_EQ(answer_of(row.slot, row.pdu), row.answer);
    const std::vector<std::string> sent = requests();
    if (!row.sent) {
      EXPECT_EQ(sent, std::vector<std::string>{});
      EXPECT_EQ(answer_of(3, "destroy : NULL"), "slotNotExists");
      continue;
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].find(row.sent), std::string::npos) << sent[0];
  }
  // A refusal by the device is an error too.
  ASSERT_EQ(board_.command("fail dsp 0x40146401 EIO").at(0), "ok");
  EXPECT_EQ(answer_of(1, filter + "1000, enable TRUE, duration-th-msec 10, det-level-dB 0 }"),
            "unsupported");
}

TEST_F(TdmSlots, RefusedMixerCreatesLeaveNothingAndSlotsKeepTheirChannels) {
  add_mixer();
  // Input 3 (switch channel 2048) feeds summator 5 and hears trunk 0 time slot 7.
  ASSERT_EQ(answer_of(1, "create : mixerIn : { unit 0, channel tdm : 3, summator tdm : 5 }"),
            "success");
  ASSERT_EQ(answer_of(2, "create : trunk : { trunk 0, timeslot 7 }"), "success");
  ASSERT_EQ(answer_of(2, "connect : 1"), "success");
  ASSERT_EQ(output(2048), "7");

  // Outputs whose inputs the summator cannot take: input 99 beyond the unit, 9 inputs where 8
  // fit. Nothing is cleared or added.
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += std::string(i ? ", " : "") + "{ channel tdm : " +
                                      std::to_string(i) + ", gain 100 }";
  for (const std::string& inputs :
       {std::string("{ channel tdm : 3, gain 100 }, { channel tdm : 99, gain 100 }"), nine}) {
    SCOPED_TRACE(inputs);
    EXPECT_EQ(answer_of(3, "create : mixerOut : { unit 0, channel tdm : 5, inputs { " + inputs +
                               " } }"),
              "insufficientResources");
    EXPECT_EQ(summator(5), std::vector<std::string>{"3 32767"});
  }
  // Inputs whose summator cannot be fed.
  const auto before = board_.command("log mixer");
  for (const char* to : {"tdm : 99", "tdm : -1", "rtp : 1"}) {
    SCOPED_TRACE(to);
    EXPECT_EQ(answer_of(3, std::string("create : mixerIn : { unit 0, channel tdm : 4, summator ") +
                               to + " }"),
              "insufficientResources");
  }
  EXPECT_EQ(board_.command("log mixer"), before);

  // A second input on channel 3 is refused; the first keeps its feed.
  EXPECT_EQ(answer_of(4, "create : mixerIn : { unit 0, channel tdm : 3 }"),
            "insufficientResources");
  EXPECT_EQ(answer_of(4, "destroy : NULL"), "slotNotExists");
  EXPECT_EQ(output(2048), "7");

  // A second output on summator 6 is refused; the first keeps its inputs.
  ASSERT_EQ(answer_of(5, "create : mixerOut : { unit 0, channel tdm : 6, inputs { { channel tdm "
                         ": 3, gain 100 } } }"),
            "success");
  EXPECT_EQ(answer_of(6, "create : mixerOut : { unit 0, channel tdm : 6, inputs { { channel tdm "
                         ": 4, gain 50 } } }"),
            "insufficientResources");
  EXPECT_EQ(answer_of(6, "destroy : NULL"), "slotNotExists");
  EXPECT_EQ(summator(6), std::vector<std::string>{"3 100"});

  // Output 3 shares its switch channel with input 3: it goes, the input still hears the trunk.
  ASSERT_EQ(answer_of(7, "create : mixerOut : { unit 0, channel tdm : 3, inputs { } }"),
            "success");
  EXPECT_EQ(answer_of(7, "destroy : NULL"), "success");
  EXPECT_EQ(output(2048), "7");
  EXPECT_EQ(answer_of(1, "destroy : NULL"), "success");
  EXPECT_EQ(output(2048), "off");
}

// A slot cannot take a channel that a live slot holds: an extension slot on a line's channel, on
// a map slot's logical channel or on another extension slot's port, a map slot on an extension
// slot's port, a second HDLC channel on a time slot where one transmits, an HDLC channel on a
// time slot that a path feeds and a path onto one where an HDLC channel transmits, a path onto a
// trunk that a signalling link both hears and feeds, an HDLC slot activated again where a path
// or another HDLC slot has replaced it. Each is refused, and the first slot's path stays as it
// was, after the refusal and after the refused slot is gone; the first HDLC slot still puts its
// frames on the line. Destroyed, the slots leave the channels free.
TEST_F(TdmSlots, ASlotOnAChannelALiveSlotHoldsIsRefusedAndThePathStays) {
  struct Step {
    int slot;
    std::string pdu;
    const char* answer;
  };
  struct Row {
    const char* name;
    std::vector<Step> first;  // the first slot and its path, each answered success
    int output;               // the switch output of that path, and what it carries
    const char* carries;
    std::vector<Step> second;  // the slot that would take the channel; the switch checked after each
    int frames_on;  // the controller channel slot 1 sends a package on at the end; -1 for none
  };
  const std::string trunk_7 = "create : trunk : { trunk 0, timeslot 7 }";
  const std::string hdlc = "create : hdlcParams : { trunk 1, log 0, address 4660 }";
  const std::vector<Step> hdlc_on_5 = {
      {1, hdlc, "success"}, {2, "create : trunk : { trunk 0, timeslot 5 }", "success"},
      {1, "connect : 2", "success"}};
  const Row rows[] = {
      {"ext on a trunk's channel",
       {{1, trunk_7, "success"},
        {2, "create : trunk : { trunk 1, timeslot 5 }", "success"},
        {2, "connect : 1", "success"}},
       7, "37",
       {{3, "create : ext : { transmitter -8192, receiver -8185 }", "insufficientResources"},
        {3, "activate : empty : NULL", "slotNotExists"},
        {3, "destroy : NULL", "slotNotExists"}},
       -1},
      {"ext on a map's port",
       {{1, "create : map : { receiver { bus 0, channel 4 } }", "success"},
        {2, trunk_7, "success"},
        {2, "connect : 1", "success"}},
       8196, "7",
       {{3, "create : ext : { transmitter 9, receiver 4 }", "insufficientResources"},
        {3, "activate : empty : NULL", "slotNotExists"},
        {3, "destroy : NULL", "slotNotExists"}},
       -1},
      {"two ext on one port",
       {{1, "create : ext : { transmitter 5, receiver 5 }", "success"},
        {1, "activate : empty : NULL", "success"},
        {2, trunk_7, "success"},
        {2, "connect : 1", "success"}},
       8197, "7",
       {{3, "create : ext : { transmitter 6, receiver 5 }", "insufficientResources"},
        {3, "activate : empty : NULL", "slotNotExists"},
        {3, "destroy : NULL", "slotNotExists"},
        {3, "create : ext : { transmitter 5, receiver 6 }", "insufficientResources"},
        {3, "destroy : NULL", "slotNotExists"}},
       -1},
      {"map on an ext's port",
       {{1, "create : ext : { transmitter 6, receiver 6 }", "success"},
        {1, "activate : empty : NULL", "success"},
        {2, trunk_7, "success"},
        {2, "connect : 1", "success"}},
       8198, "7",
       {{3, "create : map : { receiver { bus 0, channel 6 } }", "insufficientResources"},
        {3, "destroy : NULL", "slotNotExists"},
        {3, "create : map : { transmitter { bus 0, channel 6 } }", "insufficientResources"},
        {3, "destroy : NULL", "slotNotExists"}},
       -1},
      {"two HDLC slots on one time slot",
       hdlc_on_5,
       5, "1024",
       {{3, hdlc, "success"},
        {2, "connect : 3", "connectFail"},
        {3, "activate : empty : NULL", "success"},
        {3, "destroy : NULL", "success"}},
       1024},
      {"a signalling link on an HDLC slot's time slot",
       hdlc_on_5,
       5, "1024",
       {{3, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }", "success"},
        {2, "connect : 3", "connectFail"},
        {3, "destroy : NULL", "success"}},
       1024},
      {"an HDLC slot on a time slot that a path feeds",
       {{1, "create : trunk : { trunk 0, timeslot 5 }", "success"},
        {2, "create : trunk : { trunk 1, timeslot 3 }", "success"},
        {2, "connect : 1", "success"}},
       5, "35",
       {{3, hdlc, "success"},
        {1, "connect : 3", "connectFail"},
        {3, "destroy : NULL", "success"}},
       -1},
      {"a path onto an HDLC slot's time slot",
       {{1, hdlc, "success"},
        {2, "create : trunk : { trunk 0, timeslot 5 }", "success"},
        {2, "connect : 1", "success"}},
       5, "1024",
       {{3, "create : trunk : { trunk 1, timeslot 3 }", "success"},
        {3, "connect : 2", "connectFail"},
        {3, "destroy : NULL", "success"}},
       1024},
      {"a path onto a trunk that a signalling link hears and feeds",
       {{1, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }", "success"},
        {2, "create : trunk : { trunk 0, timeslot 5 }", "success"},
        {2, "connect : 1", "success"},
        {1, "connect : 2", "success"}},
       5, "1024",
       {{3, "create : trunk : { trunk 1, timeslot 3 }", "success"},
        {3, "connect : 2", "connectFail"},
        {2, "disconnect : NULL", "success"},
        {3, "destroy : NULL", "success"}},
       -1},
      {"an HDLC slot activated on a time slot that a later path feeds",
       {{1, hdlc, "success"},
        {2, "create : trunk : { trunk 0, timeslot 5 }", "success"},
        {1, "connect : 2", "success"},
        {3, "create : trunk : { trunk 1, timeslot 3 }", "success"},
        {3, "connect : 2", "success"}},
       5, "35",
       {{1, "activate : empty : NULL", "success"},
        {1, "ioctl : hdlcPackages : { { body '0102'H } }", "success"}},
       -1},
      {"an HDLC slot activated on a time slot where another one transmits now",
       {{1, hdlc, "success"},
        {2, "create : trunk : { trunk 0, timeslot 5 }", "success"},
        {1, "connect : 2", "success"},
        {2, "disconnect : NULL", "success"},
        {3, hdlc, "success"},
        {2, "connect : 3", "success"}},
       5, "1024",
       {{1, "activate : empty : NULL", "success"}},
       -1},
  };
  // The second round finds every channel free again once the slots that held it are gone.
  for (int round = 0; round < 2; ++round) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name + std::string(round ? ", again" : ""));
      for (const Step& step : row.first) ASSERT_EQ(answer_of(step.slot, step.pdu), step.answer);
      ASSERT_EQ(output(row.output), row.carries);
      for (const Step& step : row.second) {
        SCOPED_TRACE(step.pdu);
        EXPECT_EQ(answer_of(step.slot, step.pdu), step.answer);
        EXPECT_EQ(output(row.output), row.carries);
      }
      if (row.frames_on >= 0) {
        EXPECT_EQ(answer_of(1, "ioctl : hdlcPackages : { { body '0102'H } }"), "success");
        EXPECT_EQ(mcc_sent(row.frames_on, {"1234000102"}), std::vector<std::string>{"1234000102"});
        EXPECT_EQ(output(row.output), row.carries);
      }
      for (int slot = 1; slot <= 3; ++slot) answer_of(slot, "destroy : NULL");
      EXPECT_EQ(held_channels(), std::vector<std::string>{});
    }
  }
  // An HDLC slot disconnected from the time slot leaves it to the next one.
  for (const Step& step : hdlc_on_5) ASSERT_EQ(answer_of(step.slot, step.pdu), step.answer);
  EXPECT_EQ(answer_of(2, "disconnect : NULL"), "success");
  EXPECT_EQ(answer_of(3, hdlc), "success");
  EXPECT_EQ(answer_of(3, "connect : 2"), "success");
}

// Mixer slots that share a board resource: input and output N on one switch and DSP channel,
// and summator inputs claimed by an output and by input slots. Each row is a script on channels
// of its own ("TS" stands for the switch channel of mixer channel N of the row); its slots are
// destroyed after it. A step is a command and its answer, a board command and its reply lines,
// or an event the board sends and the signal it gives.
TEST_F(TdmSlots, MixerSlotsKeepEachOthersPartOfASharedResource) {
  add_mixer();
  struct Step {
    int slot;              // > 0: a command of that slot; 0: a board command
    std::string what;      // the command's pdu, or the board command
    std::string expect;    // the answer; for a board command its reply lines, each ending in ';'
    std::string signal = {};  // a board event: the signal it gives ("NAME:VALUE NOTATION")
  };
  // The board command "dials" reads the tone generator settings of the row's switch channel
  // since the row began, each as "freq1 freq2 level1 level2;", waiting (bounded) for them.
  const auto dial = [](int freq1, int freq2, int level1, int level2) {
    return "freq1=" + std::to_string(freq1) + " freq2=" + std::to_string(freq2) +
           " level1=" + std::to_string(level1) + " level2=" + std::to_string(level2) + ";";
  };
  const std::string silence = dial(1000, 1000, 0, 0), off = dial(0, 0, 0, 0);
  const std::string digit1 = dial(697, 1209, 16384, 16384), digit2 = dial(770, 1336, 16384, 16384);
  // Two digits, each long enough for the other slot's commands to land while it plays.
  const std::string two_digits = "ioctl : translateDTMF : { digits { { freq1 697, freq2 1209 }, "
                                 "{ freq1 770, freq2 1336 } }, toneDuration 600, "
                                 "pauseDuration 20 }";
  const std::string one_digit = "ioctl : translateDTMF : { digits { { freq1 770, freq2 1336 } }, "
                                "toneDuration 20, pauseDuration 20 }";
  // A digit that plays on through the row.
  const std::string long_digit = "ioctl : translateDTMF : { digits { { freq1 697, freq2 1209 } }, "
                                 "toneDuration 60000 }";
  const std::string tone_gen = "ioctl : tone-gen-enable : { freq 425, amp 1000 }";
  struct Row {
    const char* name;
    int n;  // the row's mixer channel
    std::vector<Step> steps;
  };
  const std::string filter = "ioctl : tone-filter : { freq 2100, enable TRUE, "
                             "duration-th-msec 30, det-level-dB -20 }";
  const std::string out = "create : mixerOut : { unit 0, channel tdm : N, inputs { } }";
  const std::string in = "create : mixerIn : { unit 0, channel tdm : N }";
  const std::string tone_on = "tonec:{ slot %, pdu signal : tonec : { timestamp 0, event "
                              "tone-presence : { freq 2100, presence TRUE } } }";
  const std::string digit = "tonec:{ slot %, pdu signal : tonec : { timestamp 0, event dtmf : 5 } }";
  const std::string vad = "vad:{ slot %, pdu signal : vad : { vad-rx TRUE, vad-tx FALSE } }";
  const std::string vad_rx = "vad:{ slot %, pdu signal : vad : { vad-rx TRUE } }";
  const std::string sd = "sd:{ slot %, pdu signal : sd : { sd-rx TRUE } }";
  const auto on = [](std::string text, int slot) {
    return text.replace(text.find('%'), 1, std::to_string(slot));
  };
  const Row rows[] = {
      {"output N then input N: each slot hears what it switched on",
       4,
       {{1, out, "success"},
        {2, in, "success"},
        {2, "ioctl : dtmf-enable : TRUE", "success"},
        {2, "ioctl : vad-enable : TRUE", "success"},
        {2, filter, "success"},
        {1, "ioctl : vad-enable : TRUE", "unsupported"},
        {1, filter, "insufficientResources"},
        {0, "dtmf digit TS 5", "ok;", on(digit, 2)},
        {0, "dsp vad TS 1 0", "ok;", on(vad, 2)},
        {0, "dsp event TS 0 256 2100 1 0", "ok;", on(tone_on, 2)}}},
      {"input N then output N",
       5,
       {{2, in, "success"},
        {1, out, "success"},
        {1, filter, "success"},
        {2, "ioctl : dtmf-enable : TRUE", "success"},
        {0, "dsp event TS 0 256 2100 1 0", "ok;", on(tone_on, 1)},
        {0, "dtmf digit TS 5", "ok;", on(digit, 2)}}},
      {"output N destroyed: the input's filter, VAD and delays stay",
       6,
       {{1, out, "success"},
        {2, in, "success"},
        {2, "ioctl : vad-enable : TRUE", "success"},
        {2, "ioctl : delays : { rx 10, tx 20 }", "success"},
        {2, filter, "success"},
        {1, "ioctl : delays : { rx 1, tx 2 }", "insufficientResources"},
        {1, "ioctl : vad-disable : NULL", "success"},
        {1, "destroy : NULL", "success"},
        {0, "dsp state TS",
         "enabled mask=0x01 id=2;delays rx=10 tx=20 selcal=0;"
         "tone_filter freq=2100 dur_th_msec=30 det_lvl_dB=-20;"}}},
      {"mixerIn on a summator input a mixerOut holds",
       7,
       {{1, "create : mixerOut : { unit 0, channel tdm : 7, inputs { { channel tdm : 8, gain "
            "100 } } }",
         "success"},
        {2, "create : mixerIn : { unit 0, channel tdm : 8, summator tdm : 7 }",
         "insufficientResources"},
        {0, "mixer summator 0 7", "8 100;"},
        {2, "create : mixerIn : { unit 0, channel tdm : 9, summator tdm : 7 }", "success"},
        {0, "mixer summator 0 7", "8 100;9 32767;"},
        {2, "destroy : NULL", "success"},
        {0, "mixer summator 0 7", "8 100;"}}},
      {"mixerOut on a summator a mixerIn feeds",
       10,
       {{2, "create : mixerIn : { unit 0, channel tdm : 10, summator tdm : 11 }", "success"},
        {1, "create : mixerOut : { unit 0, channel tdm : 11, inputs { { channel tdm : 10, gain "
            "5 } } }",
         "insufficientResources"},
        {0, "mixer summator 0 11", "10 32767;"},
        {1, "create : mixerOut : { unit 0, channel tdm : 11, inputs { { channel tdm : 12, gain "
            "100 } } }",
         "success"},
        {0, "mixer summator 0 11", "10 32767;12 100;"},
        {1, "destroy : NULL", "success"},
        {0, "mixer summator 0 11", "10 32767;"}}},
      {"mixerOut refused after its first request: the summator as before",
       13,
       {{2, "create : mixerIn : { unit 0, channel tdm : 13, summator tdm : 14 }", "success"},
        {0, "fail mixer 0x800c4d06 EIO", "ok;"},
        {1, "create : mixerOut : { unit 0, channel tdm : 14, inputs { { channel tdm : 15, gain "
            "100 } } }",
         "insufficientResources"},
        {0, "mixer summator 0 14", "13 32767;"},
        {1, "create : mixerOut : { unit 0, channel tdm : 14, inputs { { channel tdm : 0, gain 1 "
            "}, { channel tdm : 1, gain 1 }, { channel tdm : 2, gain 1 }, { channel tdm : 3, "
            "gain 1 }, { channel tdm : 4, gain 1 }, { channel tdm : 5, gain 1 }, { channel tdm "
            ": 6, gain 1 }, { channel tdm : 7, gain 1 } } }",
         "insufficientResources"},
        {0, "mixer summator 0 14", "13 32767;"}}},
      {"translateDTMF whose first tone the device refuses",
       16,
       {{1, out, "success"},
        {0, "fail dtmf 0x400c4205 EIO", "ok;"},
        {1, "ioctl : translateDTMF : { digits { { freq1 697, freq2 1209 } } }", "unsupported"},
        {1, "ioctl : translateDTMF : { digits { { freq1 697, freq2 1209 } } }", "success"}}},
      {"input N's digits play to their end whatever output N asks of the generator",
       17,
       {{1, out, "success"},
        {2, in, "success"},
        {2, two_digits, "success"},
        {1, tone_gen, "insufficientResources"},
        {1, "ioctl : tone-gen-disable : NULL", "success"},
        {1, one_digit, "insufficientResources"},
        {0, "dials", digit1 + silence + digit2 + silence + off},
        {1, tone_gen, "success"},
        {0, "dials", digit1 + silence + digit2 + silence + off + dial(425, 0, 1000, 0)}}},
      {"output N's tone stays until output N switches it off",
       18,
       {{2, in, "success"},
        {1, out, "success"},
        {1, tone_gen, "success"},
        {2, one_digit, "insufficientResources"},
        {2, "destroy : NULL", "success"},
        {2, in, "success"},
        {1, "ioctl : tone-gen-disable : NULL", "success"},
        {2, one_digit, "success"},
        {0, "dials", dial(425, 0, 1000, 0) + off + digit2 + silence + off}}},
      {"a destroyed slot stops the tone it plays, and only that one",
       20,
       {{1, out, "success"},
        {2, in, "success"},
        {1, tone_gen, "success"},
        {2, "destroy : NULL", "success"},
        {0, "dtmf tone TS", "freq1=425 freq2=0 level1=1000 level2=0;"},
        {2, in, "success"},
        {1, "destroy : NULL", "success"},
        {0, "dtmf tone TS", "off;"},
        {1, out, "success"},
        {2, long_digit, "success"},
        {1, "destroy : NULL", "success"},
        {0, "dtmf tone TS", "freq1=697 freq2=1209 level1=16384 level2=16384;"},
        {0, "dials", dial(425, 0, 1000, 0) + silence + off + digit1}}},
      {"output N's digits end on output N's slot; input N's are refused meanwhile",
       19,
       {{1, out, "success"},
        {2, in, "success"},
        {1, two_digits, "success"},
        {2, one_digit, "insufficientResources"},
        {0, "dials", digit1 + silence + digit2 + silence + off,
         "tonec:{ slot 1, pdu signal : tonec : { timestamp 0, event dtmfDone : NULL } }"},
        {2, one_digit, "success"}}},
      {"output N cannot report VAD or SD: it takes neither; their events, a flags event's VAD "
       "among them, go to input N, and go off with it",
       21,
       {{1, out, "success"},
        {2, in, "success"},
        {1, "ioctl : vad-enable : TRUE", "unsupported"},
        {1, "ioctl : sd-enable : TRUE", "unsupported"},
        {0, "dsp state TS", ""},
        {2, "ioctl : vad-enable : TRUE", "success"},
        {2, "ioctl : sd-enable : TRUE", "success"},
        {0, "dsp state TS", "enabled mask=0x01 id=3;enabled mask=0x02 id=4;"},
        {0, "dsp vad TS 1 0", "ok;", on(vad, 2)},
        {0, "dsp event TS 4 2 1 0 0", "ok;", on(sd, 2)},
        {0, "dsp event TS 0 512 536870912 536870912 0", "ok;", on(vad_rx, 2)},
        {1, "ioctl : sd-enable : FALSE", "success"},
        {2, "destroy : NULL", "success"},
        {0, "dsp state TS", ""}}},
      {"mixerOut whose clearing the driver does not undo: refused, the input keeps its feed",
       24,
       {{2, "create : mixerIn : { unit 0, channel tdm : 24, summator tdm : 25 }", "success"},
        {0, "fail mixer 0x801c4d03 ENOSPC", "ok;"},
        {1, "create : mixerOut : { unit 0, channel tdm : 25, inputs { { channel tdm : 26, gain "
            "100 } } }",
         "insufficientResources"},
        {0, "mixer summator 0 25", "24 32767;"},
        {2, "destroy : NULL", "success"},
        {0, "mixer summator 0 25", ""}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string n = std::to_string(row.n);
    const std::string ts = board_.command("mixer tdm 0 " + n).at(0);
    const size_t dials_before = board_.command("log dtmf").size();
    for (const Step& step : row.steps) {
      SCOPED_TRACE(step.what);
      std::string what = step.what;
      for (size_t at; (at = what.find("tdm : N")) != std::string::npos;) what.replace(at + 6, 1, n);
      if (what.find("TS") != std::string::npos) what.replace(what.find("TS"), 2, ts);
      if (step.slot > 0) {
        EXPECT_EQ(answer_of(step.slot, what), step.expect);
        continue;
      }
      std::string lines;
      if (what == "dials") {
        const std::string prefix = " DTMF_DIAL ts=" + ts + " ";
        wait_until(
            [&] {
              const std::vector<std::string> log = board_.command("log dtmf");
              lines.clear();
              for (size_t i = dials_before; i < log.size(); ++i) {
                const size_t at = log[i].find(prefix);
                if (at != std::string::npos) lines += log[i].substr(at + prefix.size()) + ";";
              }
              return lines == step.expect;
            },
            wait_ms);
      } else {
        for (const std::string& line : board_.command(what)) lines += line + ";";
      }
      EXPECT_EQ(lines, step.expect);
      if (step.signal.empty()) continue;
      const size_t colon = step.signal.find(':');
      EXPECT_EQ(signal(step.signal.substr(0, colon)), wire(step.signal.substr(colon + 1)));
    }
    answer_of(1, "destroy : NULL");
    answer_of(2, "destroy : NULL");
  }
  EXPECT_NE(daemon_.output().find("summator 25: the driver did not take back the feed of input "
                                  "24 of 02:mixer tdm input"),
            std::string::npos);
}

}  // namespace
