// Value notation: the printer's forms of each kind and the parser's acceptance of them, including
// identifiers directly before "," and "}", sparse enumerations and strings with spaces. The
// layout of whole messages is the vectors test's (tests/modules).
#include <gtest/gtest.h>

#include <sstream>

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
