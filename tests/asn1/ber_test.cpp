// BER: automatic tags, definite lengths, and hostile input that must fail.
#include <gtest/gtest.h>

#include "tests/support/test_schema_values.h"

namespace TestSchema {
namespace {

using namespace ASN1;

std::string ber(const AbstractData& value) {
  CoderEnv env(CoderEnv::ber);
  std::vector<char> out;
  if (!env.encode(value, out)) return "FAIL";
  return hex(out);
}

bool ber_decode(const std::vector<char>& bytes, AbstractData& value) {
  std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  CoderEnv env(CoderEnv::ber);
  return decode(exact.get(), exact.get() + bytes.size(), &env, value);
}

TEST(Ber, EnvelopeOctets) {
  Message m;
  m.set_seq(5);
  m.set_slot(3);
  make_response(m, -1);
  EXPECT_EQ(ber(m), "300C800105810103820481028000");
  Message back;
  ASSERT_TRUE(ber_decode(unhex("300C800105810103820481028000"), back));
  EXPECT_EQ(back.compare(m), 0);
}

TEST(Ber, TagsAndLengths) {
  // Field 31 of a SEQUENCE takes the high tag number form.
  const TypeInfo* infos[32];
  int32_t ids[32];
  const char* names[32];
  for (int i = 0; i < 32; ++i) {
    infos[i] = &BOOLEAN::theInfo;
    ids[i] = i < 31 ? -1 : 0;
    names[i] = "f";
  }
  const SequenceInfo wide = {{&SEQUENCE::create, TagSequence}, false, infos, ids, 32, 0, 1,
                             nullptr, names};
  SEQUENCE s(&wide);
  s.includeOptionalField(0, 31);
  std::string got = ber(s);
  EXPECT_EQ(got.substr(got.size() - 8), "9F1F0100");
  SEQUENCE back(&wide);
  ASSERT_TRUE(ber_decode(unhex(got), back));
  EXPECT_EQ(back.compare(s), 0);

  EXPECT_EQ(ber(OCTET_STRING(256, 'x')).substr(0, 8), "04820100");
  SEQUENCE package(&HdlcPackage_info);
  static_cast<OCTET_STRING*>(package.fields[0])->assign(256, 'x');
  EXPECT_EQ(ber(package).substr(0, 14), "30820104808201");

  BIT_STRING eight;
  eight.totalBits = 8;
  eight.bitData = {'\x5A'};
  EXPECT_EQ(ber(eight), "0302005A");
  BIT_STRING empty;
  EXPECT_EQ(ber(empty), "030100");
}

TEST(Ber, EveryKindRoundTripsAndEveryTruncationFails) {
  SEQUENCE k(&Kinds_info);
  fill_kinds(k);
  std::vector<char> full = unhex(ber(k));
  ASSERT_FALSE(full.empty());
  SEQUENCE back(&Kinds_info);
  ASSERT_TRUE(ber_decode(full, back));
  // The open type comes back as the octets it carried.
  EXPECT_EQ(back.compare(k), 0) << k << "\n" << back;
  for (size_t n = 0; n < full.size(); ++n) {
    SEQUENCE part(&Kinds_info);
    EXPECT_FALSE(ber_decode(std::vector<char>(full.begin(), full.begin() + n), part)) << n;
  }
}

TEST(Ber, SignExtendsEnumerated) {
  ErrorCause e;
  ASSERT_TRUE(ber_decode(unhex("0A01FF"), e));
  EXPECT_EQ(e.value, -1);
}

TEST(Ber, EmptySequenceAtTheEndOfTheData) {
  SEQUENCE rtp(&RtpParams_info);
  EXPECT_FALSE(ber_decode(unhex("3000"), rtp)) << "mandatory fields missing";
  const SequenceInfo none = {{&SEQUENCE::create, TagSequence}, false, nullptr, nullptr, 0, 0, 0,
                             nullptr, nullptr};
  SEQUENCE empty(&none);
  EXPECT_TRUE(ber_decode(unhex("3000"), empty));
}

struct BadCase {
  const char* name;
  const TypeInfo* info;
  const char* hex;
};

class BerHostile : public ::testing::TestWithParam<BadCase> {};

TEST_P(BerHostile, Fails) {
  const BadCase& c = GetParam();
  std::unique_ptr<AbstractData> value(c.info->create(c.info));
  EXPECT_FALSE(ber_decode(unhex(c.hex), *value));
}

INSTANTIATE_TEST_SUITE_P(
    Input, BerHostile,
    ::testing::Values(
        BadCase{"indefinite", &HdlcPackage_info, "3080800100 0000"},
        BadCase{"length_5_octets", &OCTET_STRING::theInfo, "0485000000000100"},
        BadCase{"length_past_data", &OCTET_STRING::theInfo, "040501"},
        BadCase{"sequence_past_enclosing", &HostAddress_info, "3006 8002 3002 0101 8101 05"},
        BadCase{"missing_mandatory", &HostAddress_info, "3006 800401020304"},
        BadCase{"wrong_tag_mandatory", &HostAddress_info, "3009 800401020304 820101"},
        BadCase{"integer_5_octets", &INTEGER::theInfo, "02050100000000"},
        BadCase{"integer_empty", &INTEGER::theInfo, "0200"},
        BadCase{"bits_unused_8", &BIT_STRING::theInfo, "030208FF"},
        BadCase{"bits_empty_with_unused", &BIT_STRING::theInfo, "030103"},
        BadCase{"tag_above_16_bits", &INTEGER::theInfo, "1F84808000 0100"},
        BadCase{"wrong_tag", &INTEGER::theInfo, "040100"},
        BadCase{"choice_unknown", &PDU::theInfo, "8300"},
        BadCase{"list_element_past_end", &HdlcPackages_info, "3003 3005 8003 010203"},
        BadCase{"nothing", &BOOLEAN::theInfo, ""}),
    [](const ::testing::TestParamInfo<BadCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace TestSchema
