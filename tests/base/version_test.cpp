#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "base/version.h"
#include "base/version_stamp.h"

namespace {

TEST(Version, TypeNames) {
  struct Case {
    int type;
    const char* name;
    const char* suffix;
  } cases[] = {
      {0, "snapshot", "S"}, {1, "test", "T"},     {2, "release", "R"},
      {3, "unit-test", "T"}, {7, "unknown", "U"}, {-1, "unknown", "U"},
  };
  for (const Case& c : cases) {
    const Version::Type t = static_cast<Version::Type>(c.type);
    EXPECT_STREQ(version_string(t), c.name) << c.type;
    EXPECT_STREQ(version_suffix(t), c.suffix) << c.type;
    std::ostringstream os;
    os << t;
    EXPECT_EQ(os.str(), c.name) << c.type;
  }
}

TEST(Version, CurrentIsTheBuildStamp) {
  const Version& v = Version::current;
  EXPECT_EQ(v.type, Version::snapshot);
  EXPECT_EQ(v.number, 0);
  EXPECT_STREQ(v.label, "");
  EXPECT_STREQ(v.user, ORVEX_BUILD_USER);
  EXPECT_STREQ(v.arch, ORVEX_BUILD_ARCH);
  EXPECT_STRNE(v.user, "");
  EXPECT_STRNE(v.arch, "");

  // "YYYY-MM-DD HH:MM" and the tag "TYYMMDD-HHMM" of the same minute.
  std::smatch m;
  const std::string when = v.datetime;
  ASSERT_TRUE(std::regex_match(when, m, std::regex(R"(\d\d(\d\d)-(\d\d)-(\d\d) (\d\d):(\d\d))")))
      << when;
  EXPECT_EQ(std::string(v.tag), "T" + m[1].str() + m[2].str() + m[3].str() + "-" + m[4].str() +
                                    m[5].str());

  std::ostringstream os;
  os << v;
  EXPECT_EQ(os.str(), v.tag);
}

}  // namespace
