// The value model: construction from records, presence bitmaps, selections, deep copies and
// comparison, and the GeneralizedTime and OBJECT IDENTIFIER forms the codecs share.
#include <gtest/gtest.h>

#include "tests/support/test_schema_values.h"

namespace TestSchema {
namespace {

using namespace ASN1;

TEST(Value, OptionalAndExtensionPresence) {
  SEQUENCE k(&Kinds_info);
  k.includeOptionalField(1, k_oid);
  AbstractData* oid = k.fields[k_oid];
  k.includeOptionalField(1, k_oid);
  EXPECT_EQ(k.fields[k_oid], oid) << "an existing value is kept";
  k.removeOptionalField(1);
  EXPECT_FALSE(k.hasOptionalField(1));
  EXPECT_EQ(k.fields[k_oid], oid) << "the value stays allocated";

  EXPECT_EQ(k.extensionMap.size(), 0u);
  k.includeOptionalField(9, k_ext2);  // second known extension
  EXPECT_EQ(k.extensionMap.size(), 2u);
  EXPECT_TRUE(k.hasOptionalField(9));
  EXPECT_FALSE(k.hasOptionalField(8));
  EXPECT_FALSE(k.hasOptionalField(40)) << "beyond the bitmap reads absent";
  k.removeOptionalField(40);
  EXPECT_EQ(k.extensionMap.size(), 2u);
}

TEST(Value, SelectionOutsideTheAlternativesInvalidatesTheChoice) {
  CHOICE c(&TonecCode_info);
  c.choiceID = 3;  // totalSelections
  EXPECT_FALSE(c.createSelection());
  EXPECT_EQ(c.choiceID, CHOICE::unknownSelection_);
  EXPECT_EQ(c.choice, nullptr);
  ASSERT_TRUE(c.select(0));
  AbstractData* first = c.choice;
  EXPECT_TRUE(c.select(0));
  EXPECT_EQ(c.choice, first) << "selecting the same alternative keeps its value";
}

TEST(Value, CloneIsDeepAndKeepsTheGeneratedClass) {
  Message m;
  make_create_rtp(m);
  std::unique_ptr<AbstractData> copy(m.clone());
  ASSERT_NE(dynamic_cast<Message*>(copy.get()), nullptr);
  EXPECT_NE(dynamic_cast<PDU*>(static_cast<Message*>(copy.get())->fields[2]), nullptr);
  EXPECT_EQ(copy->compare(m), 0);
  m.get_slot().setValue(101);
  EXPECT_NE(copy->compare(m), 0) << "no sharing";

  SEQUENCE k(&Kinds_info);
  fill_kinds(k);
  std::unique_ptr<AbstractData> kc(k.clone());
  EXPECT_EQ(kc->compare(k), 0);
  static_cast<INTEGER*>(k.fields[k_ext1])->setValue(43);
  EXPECT_GT(k.compare(*kc), 0) << "an extension field takes part";
  k.removeOptionalField(8);
  EXPECT_LT(k.compare(*kc), 0) << "absent compares below present";
}

TEST(Value, Comparisons) {
  const ConstrainedInfo neg = {{&INTEGER::create, TagInteger}, FixedConstraint, -128, 127};
  EXPECT_LT(INTEGER(-1, &neg).compare(INTEGER(1, &neg)), 0);
  const ConstrainedInfo u32 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 4294967295u};
  EXPECT_GT(INTEGER(-1, &u32).compare(INTEGER(1, &u32)), 0) << "unsigned reading";
  OCTET_STRING one(std::vector<char>{'\x01'}), longer(std::vector<char>{'\x01', 0});
  EXPECT_LT(one.compare(longer), 0) << "a prefix is smaller";
  OCTET_STRING high(std::vector<char>{'\x80'}), low(std::vector<char>{'\x7f'});
  EXPECT_GT(high.compare(low), 0) << "octets compare unsigned";
  OpenData a, b;
  EXPECT_EQ(a.compare(b), 0);
  a.buf.reset(new std::vector<char>{1});
  EXPECT_GT(a.compare(b), 0);
}

TEST(Value, GeneralizedTimeText) {
  struct {
    const char* in;
    const char* out;
    int millisec, mindiff;
    bool utc;
  } cases[] = {
      {"20261206211500.5Z", "20261206211500.500Z", 500, 0, true},
      {"20261206211500.5+0130", "20261206211500.500+0130", 500, 90, false},
      {"20261206211500-0030", "20261206211500-0030", 0, -30, false},
      {"20261206211500-0130", "20261206211500-0130", 0, -90, false},
      {"20261206211500.29", "20261206211500.290", 290, 0, false},
      {"20261206211500", "20261206211500", 0, 0, false},
      {"20261206211500+1400", "20261206211500+1400", 0, 840, false},
      {"20261206211500-1359", "20261206211500-1359", 0, -839, false},
  };
  for (const auto& c : cases) {
    GeneralizedTime t;
    ASSERT_TRUE(t.set(c.in)) << c.in;
    EXPECT_EQ(t.millisec, c.millisec) << c.in;
    EXPECT_EQ(t.mindiff, c.mindiff) << c.in;
    EXPECT_EQ(t.utc, c.utc) << c.in;
    EXPECT_EQ(t.get(), c.out);
  }
  GeneralizedTime t;
  EXPECT_FALSE(t.set("2026"));
  EXPECT_FALSE(t.set(""));
  EXPECT_FALSE(t.set("2026120621150x"));
  // Offsets that would not print as they were read.
  for (const char* bad : {"20261206211500-9980", "20261206211500+1401", "20261206211500+0060",
                          "20261206211500-1500", "20261206211500+01x0"})
    EXPECT_FALSE(t.set(bad)) << bad;
  EXPECT_EQ(t.year, 1) << "a rejected text changes nothing";
}

TEST(Value, ObjectIdentifierContents) {
  OBJECT_IDENTIFIER oid;
  oid.value = {2, 999, 3};
  std::vector<char> octets;
  ASSERT_TRUE(oid.encodeCommon(octets));
  EXPECT_EQ(hex(octets), "883703") << "1079 in two octets";
  OBJECT_IDENTIFIER back;
  ASSERT_TRUE(back.decodeCommon(octets.data(), octets.size()));
  EXPECT_EQ(back.value, oid.value);
  EXPECT_FALSE(back.decodeCommon("\x88", 1)) << "ends inside a sub-identifier";
  EXPECT_FALSE(back.decodeCommon("\x8f\xff\xff\xff\xff\x7f", 6)) << "arc above 32 bits";
  EXPECT_FALSE(back.decodeCommon("", 0)) << "no sub-identifier";

  // Arcs whose first sub-identifier would decode as other arcs are refused by every encoder.
  const std::vector<uint32_t> refused[] = {{}, {1}, {2019}, {3, 0}, {0, 40}, {1, 40}};
  for (const std::vector<uint32_t>& arcs : refused) {
    oid.value = arcs;
    octets.clear();
    EXPECT_FALSE(oid.encodeCommon(octets)) << ::testing::PrintToString(arcs);
    EXPECT_TRUE(octets.empty());
    EXPECT_FALSE(per_encode(oid, octets));
    EXPECT_FALSE(CoderEnv(CoderEnv::ber).encode(oid, octets));
  }
  oid.value = {2, 40};
  ASSERT_TRUE(per_encode(oid, octets));
  EXPECT_EQ(hex(octets), "0178") << "the first arc 2 takes any second arc";
}

}  // namespace
}  // namespace TestSchema
