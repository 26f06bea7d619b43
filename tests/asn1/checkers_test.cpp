// Validity, strict validity and the one-line path to the first invalid component.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "tests/support/test_schema_values.h"

namespace TestSchema {
namespace {

using namespace ASN1;

const ConstrainedInfo kNeg = {{&INTEGER::create, TagInteger}, FixedConstraint, -128, 127};
const ConstrainedInfo kU32 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 4294967295u};
const ConstrainedInfo kExt = {{&INTEGER::create, TagInteger}, ExtendableConstraint, 0, 7};

struct CheckCase {
  const char* name;
  std::function<AbstractData*()> make;
  bool valid;
  bool strict;
  const char* trace;  // the tracer's message, "" when valid
};

class Checkers : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Checkers, Answer) {
  const CheckCase& c = GetParam();
  std::unique_ptr<AbstractData> value(c.make());
  EXPECT_EQ(value->isValid(), c.valid);
  EXPECT_EQ(value->isStrictlyValid(), c.strict);
  std::ostringstream os;
  EXPECT_EQ(trace_invalid(os, "bad:", *value), std::string(c.trace).empty());
  EXPECT_EQ(os.str(), std::string(c.trace).empty() ? "" : std::string("bad:") + c.trace + "\n");
}

AbstractData* time_with(int hour, int mindiff) {
  GeneralizedTime* t = new GeneralizedTime;
  t->set("20261206000000");
  t->hour = hour;
  t->mindiff = mindiff;
  return t;
}

AbstractData* error_cause(int value) {
  ErrorCause* e = new ErrorCause;
  *e = value;
  return e;
}

AbstractData* kinds_with_bad_list_element() {
  SEQUENCE* k = new SEQUENCE(&Kinds_info);
  fill_kinds(*k);
  static_cast<INTEGER*>(static_cast<SEQUENCE_OF_Base*>(k->fields[k_list])->container[2])
      ->setValue(300);
  return k;
}

INSTANTIATE_TEST_SUITE_P(
    Values, Checkers,
    ::testing::Values(
        CheckCase{"neg_128", [] { return new INTEGER(128, &kNeg); }, false, false,
                  " The INTEGER value 128 is greater than upper bound 127"},
        CheckCase{"u32_top", [] { return new INTEGER(-1, &kU32); }, true, true, ""},
        CheckCase{"ext_above", [] { return new INTEGER(9, &kExt); }, true, false, ""},
        CheckCase{"enum_ext_above", [] { return error_cause(13); }, true, false,
                  " This ENUMERATED has invalid value 13"},
        CheckCase{"choice_extension",
                  [] {
                    CHOICE* c = new CHOICE(&TonecCode_info);
                    c->select(2);
                    return c;
                  },
                  true, false, ""},
        CheckCase{"choice_unselected", [] { return new CHOICE(&TonecCode_info); }, false, false,
                  " This CHOICE is not selected"},
        CheckCase{"time_offset_721", [] { return time_with(1, 721); }, false, false,
                  " This GeneralizedTime is not valid"},
        CheckCase{"path_to_element", kinds_with_bad_list_element, false, false,
                  ".list[2] The INTEGER value 300 is greater than upper bound 255"},
        CheckCase{"valid_kinds",
                  [] {
                    SEQUENCE* k = new SEQUENCE(&Kinds_info);
                    fill_kinds(*k);
                    return k;
                  },
                  true, false, ""}),
    [](const ::testing::TestParamInfo<CheckCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace TestSchema
