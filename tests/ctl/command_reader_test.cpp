// Ctl::CommandReader on input that comes in pieces: where one command ends and the next begins,
// what waits for more lines, and how an unreadable command is reported and skipped.
#include "tools/orvex-ctl/lib/command_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/orvex-ctl/lib/controller.h"

namespace {

struct ReaderCase {
  const char* name;
  std::vector<std::string> pieces;  // given one after another; then the input ends
  // After each piece, "|"; then each command read (on one line) or "error: " and the reason.
  std::string read;
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class ReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, ReadsEachCommandWhole) {
  Ctl::CommandReader reader;
  std::string read;
  const auto take = [&] {
    LGCP::Message m;
    std::string error;
    for (;;) {
      const Ctl::CommandReader::Result r = reader.next(m, error);
      if (r == Ctl::CommandReader::Result::kNeedMore) return;
      read += r == Ctl::CommandReader::Result::kCommand ? Ctl::one_line(m.asValueNotation())
                                                        : "error: " + error;
      read += '\n';
    }
  };
  for (const std::string& piece : GetParam().pieces) {
    reader.add(piece.data(), piece.size());
    take();
    read += "|\n";
  }
  reader.end();
  take();
  EXPECT_TRUE(reader.done());
  EXPECT_EQ(read, GetParam().read);
}

const char ping[] = "{ pdu command : ping : NULL }\n";

INSTANTIATE_TEST_SUITE_P(
    Input, ReaderTest,
    testing::Values(
        ReaderCase{"TwoBareCommandsOnTwoLines", {"ping : NULL\nping : NULL\n"},
                   std::string(ping) + ping + "|\n"},
        ReaderCase{"TwoOnOneLine", {"ping : NULL ping : NULL"},
                   std::string("|\n") + ping + ping},
        ReaderCase{"LastLineWithoutLineEnd", {"ping : NULL\nquery : NULL"},
                   std::string(ping) + "|\n{ pdu command : query : NULL }\n"},
        ReaderCase{"NumberCutBetweenReads", {"connect : 1", "2\n"},
                   "|\n{ pdu command : connect : 12 }\n|\n"},
        ReaderCase{"MessageOverLines", {"{ seq 5,\n", "  pdu command :\n", "ping : NULL\n}\n"},
                   "|\n|\n{ seq 5, pdu command : ping : NULL }\n|\n"},
        ReaderCase{"MissingMemberBetweenTwo",
                   {"ping : NULL\ncreate : trunk : { trunk 1 }\nquery : NULL\n"},
                   std::string(ping) +
                       "error: line 2, column 28: missing member timeslot (INTEGER) of "
                       "TrunkParams\n{ pdu command : query : NULL }\n|\n"},
        // A member named again is repeated; one named after those that follow it, out of order.
        ReaderCase{"RepeatedMember",
                   {"create : trunk : { trunk 0, timeslot 1, timeslot 2 }\n",
                    "create : trunk : { timeslot 1, trunk 0 }\n"},
                   "error: line 1, column 41: member timeslot of TrunkParams repeated\n|\n"
                   "error: line 2, column 32: member trunk of TrunkParams out of order\n|\n"},
        ReaderCase{"EmptyTrunkParams", {"create : trunk : { }\n"},
                   "error: line 1, column 20: missing members trunk (INTEGER), timeslot "
                   "(INTEGER) of TrunkParams\n|\n"},
        // Every member the status lacks, before and after the one it names, at the first.
        ReaderCase{"LemzStatusWithOneMember",
                   {"create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr \"127.0.0.1\","
                    " port 40000 },\n radio { status lemz : { squelshe off } } },"
                    " txPayload ptG711-Alaw, rxPayload ptG711-Alaw }\n"},
                   "error: line 2, column 26: missing members flags (RadioFlags), freq "
                   "(RadioFrequency), remote (RadioRemote), rte (RadioRTE), standby-state-channel "
                   "(RadioStandby), standby-group (INTEGER), standby-state-receiver (RadioStandby) "
                   "of LemzRadioStatus\n|\n"},
        ReaderCase{"LemzModifierOfNoKind",
                   {"{ slot 1, pdu command : ioctl : rtpExt : lemz : { addr { session-addr "
                    "\"127.0.0.7\", session-ssrc 7 },\n params wm-flag : { } } }\n"},
                   "error: line 2, column 9: member params: expected an alternative of "
                   "LemzRadioModifierParams: "
                   "gw-set-flags, gw-set-freq, gw-set-ptt, gw-set-bss, gw-set-sh, gw-set-pwr, "
                   "gw-set-rv, gw-set-resv, gw-set-selcall, gw-set-remote, gw-set-squelshe, "
                   "gw-set-rte, gw-set-standby, wm-flags, wm-trans, wm-quality, wm-chan, "
                   "wm-selcall, wm-remote or wm-standby\n|\n"},
        // An enumerator aligned PER cannot carry is refused as it is read, not when encoded.
        ReaderCase{"NotUseOfRadioStandby",
                   {"{ slot 1, pdu command : ioctl : rtpExt : lemz : { addr { session-addr "
                    "\"127.0.0.7\", session-ssrc 7 },\n params gw-set-standby : { state not-use } "
                    "} }\n",
                    "ioctl : rtpExt : lemz : { addr { session-addr \"127.0.0.7\", session-ssrc 7 "
                    "}, params wm-standby : { state-channel active, group 1, state-receiver -1 } }"
                    "\n"},
                   "error: line 2, column 34: member state: not-use of RadioStandby cannot be "
                   "encoded; expected active or standby\n|\nerror: line 3, column 146: member "
                   "state-receiver: not-use of RadioStandby cannot be encoded; expected active or "
                   "standby\n|\n"},
        // What the schema cannot carry is refused as it is read, naming the member (optional
        // ones too) and what it takes; the next command is read all the same.
        ReaderCase{"ValuesOutsideTheirRange",
                   {"create : trunk : { trunk 0, timeslot 32 }\n",
                    "{ slot 1024, pdu command : ping : NULL }\n", "connect : 1024\n",
                    "create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr "
                    "\"127.0.0.1\", port 70000 } }, txPayload ptG711-Alaw, rxPayload 3 }\n",
                    "create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr "
                    "\"127.0.0.1\", port 1 }, dname \"\" }, txPayload ptG711-Alaw, rxPayload 3 }\n",
                    "ping : NULL\n"},
                   "error: line 1, column 38: member timeslot: 32 out of range 0..31\n|\n"
                   "error: line 2, column 8: member slot: 1024 out of range 0..1023\n|\n"
                   "error: line 3, column 11: alternative connect: 1024 out of range 0..1023\n|\n"
                   "error: line 4, column 82: member port: 70000 out of range 0..65535\n|\n"
                   "error: line 5, column 93: member dname: 0 characters out of range 1..64\n|\n" +
                       std::string(ping) + "|\n"},
        // A number the type cannot hold at all (below 0 for a range from 0, past 32 bits) is
        // named with its range like any other.
        ReaderCase{"NumbersNoneOfTheRangeHolds",
                   {"create : trunk : { trunk 0, timeslot -1 }\n",
                    "create : trunk : { trunk 0, timeslot 4294967296 }\n",
                    "ioctl : rtpExt : lemz : { addr { session-addr \"127.0.0.7\", session-ssrc "
                    "4294967296 }, params wm-flags : { } }\n",
                    "{ seq 99999999999, pdu command : ping : NULL }\n", "connect : -0\n"},
                   "error: line 1, column 38: member timeslot: -1 out of range 0..31\n|\n"
                   "error: line 2, column 38: member timeslot: 4294967296 out of range 0..31\n|\n"
                   "error: line 3, column 73: member session-ssrc: 4294967296 out of range "
                   "0..4294967295\n|\n"
                   "error: line 4, column 7: member seq: 99999999999 out of range "
                   "-2147483648..2147483647\n|\n"
                   "{ pdu command : connect : 0 }\n|\n"},
        // Whatever aligned PER carries is read: an IA5String's octets above 127, a number past
        // the enumerators of an extensible type, an extension alternative; a length the codec
        // cannot write is refused.
        ReaderCase{"WhatTheCodecCarries",
                   {"create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr "
                    "\"h\xc3\xa9\", port 1 }, dname \"\xc3\xa9\" }, txPayload ptG711-Alaw, "
                    "rxPayload ptR2S }\n",
                    "{ pdu response : error : 40 }\n",
                    "{ pdu signal : tonec : { timestamp 1, event dtmfDone : NULL } }\n",
                    "userData : '" + std::string(2 * 16384, 'a') + "'H\n"},
                   "{ pdu command : create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr "
                   "\"h\xc3\xa9\", port 1 }, dname \"\xc3\xa9\" }, txPayload ptG711-Alaw, "
                   "rxPayload ptR2S } }\n|\n{ pdu response : error : 40 }\n|\n{ pdu signal : tonec : "
                   "{ timestamp 1, event dtmfDone : NULL } }\n|\nerror: line 4, column 12: "
                   "alternative userData: 16384 octets, above the codec's 16383\n|\n"},
        ReaderCase{"PayloadThatIsNoEnumerator",
                   {"create : rtp : { codecRTP { payload 14, dhost { iaddr \"127.0.0.1\", port 1 "
                    "} }, txPayload ptG711-Alaw, rxPayload ptR2S }\n"},
                   "error: line 1, column 37: member payload: 14 is no value of Payload; expected "
                   "a value of Payload: ptG711-Alaw, ptG711-Ulaw, ptG723, ptG729, ptG711mcc-Alaw, "
                   "ptG711mcc-Ulaw, reserv-1, reserv-2, reserv-3, reserv-4, reserv-5, "
                   "ptT38-UDP-TL, ptT38-TCP-TPKT, ptG728 or ptR2S\n|\n"},
        // An unknown member is told with the members its type has: radio is the way to a
        // radio slot.
        ReaderCase{"UnknownMemberListsTheMembers",
                   {"create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr \"127.0.0.1\", "
                    "port 1 }, radios { } }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw }\n"},
                   "error: line 1, column 87: unknown member radios of RtpParams; its members: "
                   "payload, dhost, shost (optional), dname (optional), jitter (optional), "
                   "pfactor (optional), crate (optional), vad (optional), echo (optional), radio "
                   "(optional), rtp-e2m (optional), ssrc (optional), ttl (optional), qos-dscp "
                   "(optional)\n|\n"},
        ReaderCase{"UnknownRadioStandbyOffersWhatEncodes",
                   {"ioctl : rtpExt : lemz : { addr { session-addr \"127.0.0.7\", session-ssrc 7 "
                    "}, params gw-set-standby : { state foo } }\n"},
                   "error: line 1, column 110: member state: expected active or standby\n|\n"},
        ReaderCase{"UnreadableMessageSkippedToItsLastLine",
                   {"{ seq 5, pdu command : pong : NULL,\n", "  x \"}\" }\n", "ping : NULL\n"},
                   "error: line 1, column 24: alternative command: expected an alternative of "
                   "Command: query, testBpc, "
                   "connect, disconnect, create, destroy, activate, deactivate, userData, ioctl, "
                   "trunkCfg, clockCfg, ping, display or protoLemz\n|\n|\n" +
                       std::string(ping) + "|\n"},
        ReaderCase{"EndInsideAMessage", {"ping : NULL\n{ seq 1,\n"},
                   std::string(ping) + "|\nerror: line 3, column 1: expected a member or '}'\n"},
        ReaderCase{"BlankInput", {"\n  \n", "\t\n"}, "|\n|\n"}),
    [](const testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

TEST(ReadWholeValue, TellsThePlaceOfTextAfterTheValue) {
  LGCP::Message m;
  std::string error;
  EXPECT_TRUE(Ctl::read_whole_value("\n{ pdu command : ping : NULL }\n\n", m, error)) << error;
  EXPECT_FALSE(Ctl::read_whole_value("{ pdu command : ping : NULL }\n  ping", m, error));
  EXPECT_EQ(error, "line 2, column 3: expected the end of the text");
}

}  // namespace
