// BER: the envelope's octets and hostile input that must fail; the fuzz target round-trips the rest.
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
