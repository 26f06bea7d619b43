// Value notation: the printer's forms of each kind and the parser's acceptance of them, including
// identifiers directly before "," and "}", sparse enumerations and strings with spaces. The
// layout of whole messages is the vectors test's (tests/modules).
#include <gtest/gtest.h>

#include <sstream>

#include "asn1/avn_decoder.h"
#include "tests/support/test_schema_values.h"

namespace TestSchema {
namespace {

using namespace ASN1;

// The other forms are the parse table's, printed back.
TEST(Avn, PrintsIntegersByTheirRange) {
  const ConstrainedInfo neg = {{&INTEGER::create, TagInteger}, FixedConstraint, -128, 127};
  const ConstrainedInfo u32 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 4294967295u};
  EXPECT_EQ(INTEGER(-1, &neg).asValueNotation(), "-1");
  EXPECT_EQ(INTEGER(-1, &u32).asValueNotation(), "4294967295");
}

TEST(Avn, UnselectedChoiceFailsAfterWhatWasWritten) {
  Message m;
  m.set_seq(9);
  std::ostringstream os;
  os << m;
  EXPECT_TRUE(os.fail());
  EXPECT_EQ(os.str(), "{\n  seq 9,\n  pdu ");
  EXPECT_EQ(m.asValueNotation(), "{\n  seq 9,\n  pdu ");
}

struct ParseCase {
  const char* name;
  const TypeInfo* info;
  const char* text;
  const char* printed;  // null: the parse must fail
};

const ConstrainedInfo kInt = INTEGER::theInfo;
const SequenceOfInfo kInts = {{{&SEQUENCE_OF_Base::create, TagSequence}, Unconstrained, 0,
                               4294967295u},
                              &kInt};

class AvnParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(AvnParse, Parses) {
  const ParseCase& c = GetParam();
  std::unique_ptr<AbstractData> value(c.info->create(c.info));
  bool ok = value->setFromValueNotation(c.text);
  if (c.printed == nullptr) {
    EXPECT_FALSE(ok);
    return;
  }
  ASSERT_TRUE(ok);
  EXPECT_EQ(value->asValueNotation(), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Text, AvnParse,
    ::testing::Values(
        ParseCase{"empty_sequence", &HostAddress_info, "{}", "{\n  ip ''H,\n  port 0\n}"},
        ParseCase{"bits_binary", &BIT_STRING::theInfo, "'101'B", "'101'B"},
        ParseCase{"bits_hex", &BIT_STRING::theInfo, "'A'H", "'1010'B"},
        ParseCase{"octets_spaced", &OCTET_STRING::theInfo, "'0 1 A B'H", "'01 ab'H"},
        ParseCase{"octets_bad_digit", &OCTET_STRING::theInfo, "'G1'H", nullptr},
        ParseCase{"octets_sign", &OCTET_STRING::theInfo, "'-1'H", nullptr},
        ParseCase{"list_blank", &kInts, "{  \n }", "{\n}"},
        ParseCase{"list_two", &kInts, "{ 1, 2 }", "{\n  1,\n  2\n}"},
        ParseCase{"null_spaced", &Null::theInfo, "NU LL", "NULL"},
        ParseCase{"choice_unknown", &PDU::theInfo, "nothing : NULL", nullptr},
        ParseCase{"enum_before_comma", &CreateRtpParams_info,
                  "{ codecRTP { local { ip '01020304'H, port 1 }, ptime 10, vad FALSE },"
                  " txPayload gsm, rxPayload dynamic}",
                  "{\n  codecRTP {\n    local {\n      ip '01 02 03 04'H,\n      port 1\n    },\n"
                  "    ptime 10,\n    vad FALSE\n  },\n  txPayload gsm,\n  rxPayload dynamic\n}"},
        ParseCase{"enum_alias", &Sparse::theInfo, "alias", "five"},
        ParseCase{"enum_number", &Sparse::theInfo, "77", "77"},
        ParseCase{"enum_unknown", &Sparse::theInfo, "seven", nullptr},
        ParseCase{"choice_tight", &PDU::theInfo, "response:error:invalidSlot",
                  "response : error : invalidSlot"},
        ParseCase{"string_as_it_stands", &IA5String::theInfo, "\"a {b}, c: d\"",
                  "\"a {b}, c: d\""},
        ParseCase{"string_unterminated", &IA5String::theInfo, "\"abc", nullptr},
        ParseCase{"string_quotes", &IA5String::theInfo, "\"\"\"ab\"\"}\"\"\"", "\"\"\"ab\"\"}\"\"\""},
        ParseCase{"bmp_quotes", &BMPString::theInfo, "\"a\"\"b\"", "\"a\"\"b\""},
        ParseCase{"oid_named", &OBJECT_IDENTIFIER::theInfo, "{ iso(1) 2 840 }", "{ 1 2 840 }"},
        ParseCase{"oid_word", &OBJECT_IDENTIFIER::theInfo, "{ iso 2 }", nullptr},
        ParseCase{"mandatory_missing", &TrunkParams_info, "{ timeslot 3 }", nullptr},
        ParseCase{"trailing_comma", &TrunkParams_info, "{ trunk 1, timeslot 3, }",
                  "{\n  trunk 1,\n  timeslot 3\n}"},
        ParseCase{"unsigned_negative", &Slot_info, "-1", nullptr},
        ParseCase{"time", &GeneralizedTime::theInfo, "\"20261206211500.250-0130\"",
                  "\"20261206211500.250-0130\""}),
    [](const ::testing::TestParamInfo<ParseCase>& p) { return std::string(p.param.name); });

// The strict decoder on a whole message: what it refuses beyond the plain decoder, and where and
// why it stops. `at` has a caret under the token where reading failed.
struct StrictCase {
  const char* name;
  const char* text;
  bool plain;           // the plain decoder accepts it
  const char* at;       // null: the strict decoder accepts it too
  const char* error;
};

void PrintTo(const StrictCase& c, std::ostream* os) { *os << c.name; }

class AvnStrict : public ::testing::TestWithParam<StrictCase> {};

TEST_P(AvnStrict, RefusesWhatIsMissingAndTellsWhere) {
  const StrictCase& c = GetParam();
  EXPECT_EQ(Message().setFromValueNotation(c.text), c.plain);
  std::istringstream in(c.text);
  AVNDecoder strict(in, true);
  Message m;
  const bool ok = m.accept(strict);
  if (c.at == nullptr) {
    EXPECT_TRUE(ok) << strict.error();
    return;
  }
  ASSERT_FALSE(ok);
  EXPECT_EQ(strict.error(), c.error);
  EXPECT_EQ(strict.error_offset(), std::streamoff(std::string(c.at).find('^')));
}

INSTANTIATE_TEST_SUITE_P(
    Text, AvnStrict,
    ::testing::Values(
        StrictCase{"complete", "{ seq 1, pdu command : create : trunk : { trunk 1, timeslot 2 } }",
                   true, nullptr, ""},
        StrictCase{"member_missing_at_end", "{ pdu command : create : trunk : { trunk 1 } }", true,
                   "                                           ^",
                   "missing member timeslot (INTEGER)"},
        StrictCase{"members_all_missing", "{ pdu command : create : trunk : {\n } }", true,
                   "                                    ^",
                   "missing members trunk (INTEGER), timeslot (INTEGER)"},
        // Every member left out of the SEQUENCE where reading stops, named at the first; the
        // outer SEQUENCE's own gap (txPayload) comes to light once this one is mended.
        StrictCase{"members_missing_around_one", "{ pdu command : create : rtp : { codecRTP "
                   "{ jitter 5 }, rxPayload gsm } }", false,
                   "                                            ^",
                   "missing members local (SEQUENCE), ptime (INTEGER), vad (BOOLEAN)"},
        StrictCase{"missing_then_unknown", "{ pdu command : create : trunk : { timeslot 2, x 1 } }",
                   false, "                                               ^",
                   "unknown member x; its members: trunk, timeslot"},
        StrictCase{"envelope_without_pdu", "{ seq 1 }", true, "        ^",
                   "missing member pdu (PDU) of Message"},
        StrictCase{"null_spaced", "{ pdu command : ping : NU LL }", true,
                   "                       ^", "alternative ping: expected NULL"},
        StrictCase{"null_ends_at_the_line", "{ pdu command : ping : NULL\nping : NULL }", false,
                   "                            ^", "expected ',' or '}'"},
        StrictCase{"out_of_order", "{ slot 1, seq 2, pdu command : ping : NULL }", false,
                   "          ^", "member seq of Message out of order"},
        StrictCase{"unknown_first", "{ sequence 1, pdu command : ping : NULL }", false,
                   "  ^",
                   "unknown member sequence of Message; its members: seq (optional), slot "
                   "(optional), pdu"},
        StrictCase{"unknown_last", "{ pdu command : ping : NULL, extra 1 }", false,
                   "                             ^",
                   "unknown member extra of Message; its members: seq (optional), slot "
                   "(optional), pdu"},
        StrictCase{"no_colon", "{ pdu command : ping NULL }", false,
                   "                     ^", "expected ':' after ping"},
        StrictCase{"no_alternative", "{ pdu command : pong : NULL }", false,
                   "                ^",
                   "alternative command: expected ping, create, userData, ioctl or kinds"},
        StrictCase{"bad_enum", "{ pdu response : error : nope }", false,
                   "                         ^",
                   "alternative error: expected a value of ErrorCause: invalidParams, insufficientResources, "
                   "invalidSlot, slotNotExists, unexpectedMsgType, internal, unsupported, "
                   "reconnectionFail, disconnectFail, connectFail, busError, slotIdBusy or "
                   "destroyInProgress"},
        StrictCase{"unsigned_negative", "{ slot -1, pdu command : ping : NULL }", false,
                   "       ^", "member slot: expected a number, 0 or more"}),
    [](const ::testing::TestParamInfo<StrictCase>& p) { return std::string(p.param.name); });

TEST(Avn, StreamExtraction) {
  std::istringstream in("  response : error : busError  signal : number : \"x y\"");
  PDU a, b;
  in >> a >> b;
  ASSERT_TRUE(in);
  EXPECT_EQ(b.asValueNotation(), "signal : number : \"x y\"");
  PDU c;
  in >> c;
  EXPECT_TRUE(in.fail());
}

}  // namespace
}  // namespace TestSchema
