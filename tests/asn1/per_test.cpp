// Aligned PER: exact octets of known messages, each integer and length form, extension
// handling, and hostile input that must fail without reading past the data.
#include <gtest/gtest.h>

#include <clocale>

#include "tests/support/test_schema_values.h"

namespace TestSchema {
namespace {

using namespace ASN1;

std::string encoded(const AbstractData& value) {
  std::vector<char> out;
  if (!per_encode(value, out)) return "FAIL";
  return hex(out);
}

// The octets of whole messages are the vectors test's (tests/modules); here the envelope's edges.
TEST(Per, EnvelopeEdges) {
  Message high;
  high.set_slot(1024);
  make_response(high, -1);
  std::vector<char> out = {'x'};
  EXPECT_FALSE(per_encode(high, out));
  EXPECT_EQ(out.size(), 1u) << "a failed encode appends nothing";

  Message last;
  make_response(last, ErrorCause::destroyInProgress);
  EXPECT_EQ(encoded(last), "1B00") << "extension bit 0, value 12 in 4 bits";
}

TEST(Per, DecodeEnvelopeWithTrailingOctetAndUncheckedSlot) {
  Message m;
  ASSERT_TRUE(per_decode(unhex("C0 01 05 00 03 40 00"), m));
  EXPECT_EQ(m.get_seq().value, 5);
  EXPECT_EQ(m.get_slot().value, 3);
  EXPECT_EQ(m.get_pdu().choiceID, PDU::response);
  EXPECT_EQ(static_cast<CHOICE*>(m.get_pdu().choice)->choiceID, 0);

  Message slot2000;
  ASSERT_TRUE(per_decode(unhex("40 07 D0 40"), slot2000));
  EXPECT_EQ(slot2000.get_slot().value, 2000) << "no range check on decode";
}

// One field of a given record, encoded alone.
struct IntCase {
  const char* name;
  const ConstrainedInfo* info;
  int32_t value;
  const char* hex;  // "FAIL": the encoding must fail
};

const ConstrainedInfo kUnc = {{&INTEGER::create, TagInteger}, Unconstrained, 0, 4294967295u};
const ConstrainedInfo kU32 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 4294967295u};
const ConstrainedInfo kNeg = {{&INTEGER::create, TagInteger}, FixedConstraint, -128, 127};
const ConstrainedInfo kExt = {{&INTEGER::create, TagInteger}, ExtendableConstraint, 0, 7};
const ConstrainedInfo kExtNeg = {{&INTEGER::create, TagInteger}, ExtendableConstraint, -3, 3};
const ConstrainedInfo kLowerU = {{&INTEGER::create, TagInteger}, PartiallyConstrained, 0,
                                 4294967295u};
const ConstrainedInfo kLowerS = {{&INTEGER::create, TagInteger}, PartiallyConstrained, -5,
                                 4294967295u};
const ConstrainedInfo kOne = {{&INTEGER::create, TagInteger}, FixedConstraint, 7, 7};
const ConstrainedInfo k256 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 255};
const ConstrainedInfo k255 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 254};

class PerInteger : public ::testing::TestWithParam<IntCase> {};

TEST_P(PerInteger, EncodesAndRoundTrips) {
  const IntCase& c = GetParam();
  INTEGER v(c.value, c.info);
  std::string got = encoded(v);
  EXPECT_EQ(got, c.hex);
  if (got == "FAIL") return;
  INTEGER back(0, c.info);
  ASSERT_TRUE(per_decode(unhex(c.hex), back));
  EXPECT_EQ(back.value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PerInteger,
    ::testing::Values(
        IntCase{"unc_minus1", &kUnc, -1, "01FF"}, IntCase{"unc_128", &kUnc, 128, "020080"},
        IntCase{"unc_minus129", &kUnc, -129, "02FF7F"},
        IntCase{"unc_min", &kUnc, INT32_MIN, "0480000000"},
        IntCase{"u32_max", &kU32, -1, "C0FFFFFFFF"}, IntCase{"u32_0", &kU32, 0, "0000"},
        IntCase{"u32_256", &kU32, 256, "400100"}, IntCase{"neg_min", &kNeg, -128, "00"},
        IntCase{"neg_max", &kNeg, 127, "FF"}, IntCase{"neg_over", &kNeg, 128, "FAIL"},
        IntCase{"ext_root", &kExt, 5, "50"}, IntCase{"ext_out", &kExt, 300, "8002012C"},
        IntCase{"ext_unsigned_top", &kExt, -1, "8004FFFFFFFF"},
        IntCase{"extneg_out", &kExtNeg, -5, "8001FB"},
        IntCase{"lower_unsigned_top", &kLowerU, -1, "04FFFFFFFF"},
        IntCase{"lower_unsigned_200", &kLowerU, 200, "0200C8"},
        IntCase{"lower_signed", &kLowerS, -4, "01FC"}, IntCase{"single", &kOne, 7, ""},
        IntCase{"single_other", &kOne, 8, "FAIL"}, IntCase{"range256", &k256, 255, "FF"},
        IntCase{"range255", &k255, 254, "FE"}),
    [](const ::testing::TestParamInfo<IntCase>& p) { return std::string(p.param.name); });

TEST(Per, LengthForms) {
  struct {
    size_t n;
    const char* prefix;
  } cases[] = {{0, "00"}, {127, "7F"}, {128, "8080"}, {200, "80C8"}, {16383, "BFFF"}};
  for (const auto& c : cases) {
    OCTET_STRING s(c.n, 'a');
    std::string got = encoded(s);
    EXPECT_EQ(got.substr(0, std::string(c.prefix).size()), c.prefix) << c.n;
    EXPECT_EQ(got.size(), std::string(c.prefix).size() + 2 * c.n);
    OCTET_STRING back;
    ASSERT_TRUE(per_decode(unhex(got), back));
    EXPECT_EQ(back.size(), c.n);
  }
  EXPECT_EQ(encoded(OCTET_STRING(16384, 'a')), "FAIL") << "no fragmented form";
}

TEST(Per, ExtensionAlternativeAndAdditions) {
  CHOICE tonec(&TonecCode_info);
  tonec.select(2);  // dtmfDone, an extension addition
  EXPECT_EQ(encoded(tonec), "800100");
  CHOICE back(&TonecCode_info);
  ASSERT_TRUE(per_decode(unhex("800100"), back));
  EXPECT_EQ(back.choiceID, 2);

  SEQUENCE kinds(&Kinds_info);
  fill_kinds(kinds);
  kinds.removeOptionalField(8);
  kinds.removeOptionalField(9);
  std::vector<char> out;
  ASSERT_TRUE(per_encode(kinds, out));
  EXPECT_EQ(static_cast<uint8_t>(out[0]) & 0x80, 0) << "all additions removed: bit 0";
}

TEST(Per, KindsRoundTrip) {
  SEQUENCE kinds(&Kinds_info);
  fill_kinds(kinds);
  std::vector<char> out;
  ASSERT_TRUE(per_encode(kinds, out));
  SEQUENCE back(&Kinds_info);
  ASSERT_TRUE(per_decode(out, back)) << hex(out);
  EXPECT_EQ(kinds.compare(back), 0) << kinds << "\n" << back;
  std::vector<char> again;
  ASSERT_TRUE(per_encode(back, again));
  EXPECT_EQ(hex(again), hex(out));
}

TEST(Per, UnknownAdditionsAreSkippedAndNotReencoded) {
  // CreateRtpParams is extensible with no known additions: a newer peer's addition (bitmap of
  // one bit, set, then an open type of two octets) is skipped.
  Message m;
  make_create_rtp(m);
  const SEQUENCE& rtp = *static_cast<SEQUENCE*>(
      static_cast<CHOICE*>(static_cast<CHOICE*>(m.get_pdu().choice)->choice)->choice);
  std::vector<char> root;
  ASSERT_TRUE(per_encode(rtp, root));
  // Set the extension bit and append the bitmap and one unknown addition.
  std::vector<char> newer = root;
  newer[0] = static_cast<char>(newer[0] | 0x80);
  std::vector<char> tail = unhex("00 80 02 AB CD");  // small number 0, bitmap 1, open type
  newer.insert(newer.end(), tail.begin(), tail.end());
  SEQUENCE decoded(&CreateRtpParams_info);
  ASSERT_TRUE(per_decode(newer, decoded)) << hex(newer);
  EXPECT_EQ(decoded.compare(rtp), 0);
  EXPECT_EQ(encoded(decoded), hex(root)) << "unknown additions are not written back";
}

struct BadCase {
  const char* name;
  const TypeInfo* info;
  const char* hex;
};

const ConstrainedInfo kSlot = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 1023};
const SequenceOfInfo kList = {{{&SEQUENCE_OF_Base::create, TagSequence}, Unconstrained, 0,
                               4294967295u},
                              &Null::theInfo};
const StringInfo kNumeric = NumericString::theInfo;

class PerHostile : public ::testing::TestWithParam<BadCase> {};

TEST_P(PerHostile, Fails) {
  const BadCase& c = GetParam();
  std::unique_ptr<AbstractData> value(c.info->create(c.info));
  std::vector<char> bytes = unhex(c.hex);
  // A copy on the heap of exactly the bytes, so a read past them is caught by the sanitizer.
  std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  CoderEnv env;
  EXPECT_FALSE(decode(exact.get(), exact.get() + bytes.size(), &env, *value));
}

INSTANTIATE_TEST_SUITE_P(
    Input, PerHostile,
    ::testing::Values(
        BadCase{"slot_cut", &Message::theInfo, "40"},
        BadCase{"range_cut", &kSlot, "03"},
        BadCase{"empty_boolean", &BOOLEAN::theInfo, ""},
        BadCase{"fragmented_length", &OCTET_STRING::theInfo, "C1"},
        BadCase{"octets_past_end", &OCTET_STRING::theInfo, "05 01 02"},
        BadCase{"list_129", &kList, "8081"},
        BadCase{"list_huge_count", &kList, "BF FF 00"},
        BadCase{"choice_index_3_of_3", &PDU::theInfo, "C0"},
        BadCase{"unknown_extension_alternative", &TonecCode_info, "81 01 00"},
        BadCase{"open_type_past_data", &TonecCode_info, "80 05 00"},
        BadCase{"open_type_past_own_length", &Alt_info, "40 01 FF FF"},
        BadCase{"int_5_octets", &INTEGER::theInfo, "05 01 02 03 04 05"},
        BadCase{"int_cut", &INTEGER::theInfo, "02 01"},
        BadCase{"numeric_index_outside", &kNumeric, "01 F0"},
        BadCase{"bits_incomplete", &BIT_STRING::theInfo, "20 FF"},
        BadCase{"oid_past_data", &OBJECT_IDENTIFIER::theInfo, "05 2B 06"},
        BadCase{"oid_open_subidentifier", &OBJECT_IDENTIFIER::theInfo, "01 81"},
        BadCase{"enum_extension_cut", &ErrorCause::theInfo, "80"},
        // X.691's own extension form (index of the addition) is not read as a root value.
        BadCase{"enum_x691_addition_0", &Message::theInfo, "40 00 07 70 00"},
        BadCase{"enum_x691_addition_1", &ErrorCause::theInfo, "81 FF"},
        BadCase{"enum_extension_value_mismatch", &ErrorCause::theInfo, "8E C0"},
        BadCase{"small_number_5_octets", &TonecCode_info, "C0 05 00 00 00 00 01"},
        BadCase{"addition_bitmap_over_limit", &CreateRtpParams_info, "FF"},
        BadCase{"time_past_data", &GeneralizedTime::theInfo, "10 32 30"},
        BadCase{"time_not_digits", &GeneralizedTime::theInfo, "03 41 42 43"},
        // "20261206211500-9980": an offset of 99 h 80 min would print as -10020.
        BadCase{"time_offset_out_of_range", &GeneralizedTime::theInfo,
                "13 32 30 32 36 31 32 30 36 32 31 31 35 30 30 2D 39 39 38 30"},
        BadCase{"sequence_cut", &Message::theInfo, ""}),
    [](const ::testing::TestParamInfo<BadCase>& p) { return std::string(p.param.name); });

TEST(Per, ExtensionEnumeratedAndEmptyChoiceAtEnd) {
  ErrorCause above;
  above = 13;
  EXPECT_EQ(encoded(above), "8ED0") << "small number 14, then 13 in 0..13";
  ErrorCause back;
  ASSERT_TRUE(per_decode(unhex("8ED0"), back));
  EXPECT_EQ(back.value, 13);

  // A CHOICE of one root alternative takes no bits, so it decodes at the end of the data.
  const TypeInfo* const only[] = {&Null::theInfo};
  const char* const names[] = {"only"};
  const ChoiceInfo single = {{&CHOICE::create, 0}, false, only, 1, 1, nullptr, names};
  CHOICE empty(&single);
  ASSERT_TRUE(per_decode({}, empty));
  EXPECT_EQ(empty.choiceID, 0);
}

TEST(Per, BmpCharactersAboveFFFFAreRefused) {
  BMPString bmp(std::wstring{L'a', static_cast<wchar_t>(0x10000)});
  std::vector<char> out;
  EXPECT_FALSE(per_encode(bmp, out));
  EXPECT_FALSE(CoderEnv(CoderEnv::ber).encode(bmp, out));
  bmp[1] = static_cast<wchar_t>(0xFFFF);
  EXPECT_TRUE(per_encode(bmp, out));
  std::string was = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
  EXPECT_FALSE(bmp.setFromValueNotation("\"a\xF0\x90\x80\x80\""));
  EXPECT_TRUE(bmp.setFromValueNotation("\"a\xEF\xBF\xBF\""));
  std::setlocale(LC_CTYPE, was.c_str());
}

TEST(Per, HeldOctetsDecodeLater) {
  SEQUENCE k(&Kinds_info);
  fill_kinds(k);
  OpenData& open = *static_cast<OpenData*>(k.fields[k_open]);
  open.buf.reset(new std::vector<char>(unhex("02 FE 0C")));  // unconstrained INTEGER -500
  std::vector<char> out;
  ASSERT_TRUE(per_encode(k, out));
  SEQUENCE back(&Kinds_info);
  ASSERT_TRUE(per_decode(out, back));
  OpenData& held = *static_cast<OpenData*>(back.fields[k_open]);
  ASSERT_TRUE(held.has_buf());
  EXPECT_FALSE(held.has_data());
  held.grab(new INTEGER);
  PERDecoder decoder(nullptr, nullptr);
  ASSERT_TRUE(decoder.do_revisit(held));
  EXPECT_EQ(static_cast<INTEGER*>(held.data.get())->value, -500);
}

// Every strict prefix of a complete encoding drops at least one octet holding data bits, so it
// must fail to decode without reading past its end.
TEST(Per, EveryTruncationFails) {
  SEQUENCE kinds(&Kinds_info);
  fill_kinds(kinds);
  Message rtp;
  make_create_rtp(rtp);
  for (const AbstractData* value : {static_cast<const AbstractData*>(&kinds),
                                    static_cast<const AbstractData*>(&rtp)}) {
    std::vector<char> full;
    ASSERT_TRUE(per_encode(*value, full));
    for (size_t n = 0; n < full.size(); ++n) {
      std::unique_ptr<char[]> exact(new char[n + 1]);
      std::copy(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n), exact.get());
      std::unique_ptr<AbstractData> back(value->type_info()->create(value->info()));
      CoderEnv env;
      EXPECT_FALSE(decode(exact.get(), exact.get() + n, &env, *back)) << n << " of " << full.size();
    }
  }
}

}  // namespace
}  // namespace TestSchema
