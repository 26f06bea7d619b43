#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>

#include "base/ext_hex.h"
#include "base/ext_table.h"

namespace {

TEST(ExtHex, Dumps) {
  const unsigned char bytes[] = {0x01, 0xAB, 0x7F, 0x00, 0xFF};
  struct Case {
    const char* name;
    size_t size;
    const char* expected;
  } cases[] = {
      {"empty", 0, ""},
      {"one", 1, "01 "},
      {"three", 3, "01 AB 7F "},
      {"all", 5, "01 AB 7F 00 FF "},
  };
  for (const Case& c : cases) {
    std::ostringstream os;
    os << ext::OutBufInHex(bytes, bytes + c.size);
    EXPECT_EQ(os.str(), c.expected) << c.name;
  }
}

TEST(ExtHex, Numbers) {
  struct Case {
    unsigned value;
    int width;
    const char* expected;
  } cases[] = {
      {0x1A, 0, "0x1A"},     {0x1A, 4, "0x001A"},         {0x1A, 1, "0x1A"},
      {0, 0, "0x0"},         {0xDEADBEEF, 0, "0xDEADBEEF"}, {0xABC, -3, "0xABC"},
  };
  for (const Case& c : cases) {
    std::ostringstream os;
    os << ext::OutUnsignedInHex(c.value, c.width);
    EXPECT_EQ(os.str(), c.expected) << c.value << "/" << c.width;
  }
}

TEST(ExtHex, RestoresStreamFormat) {
  const unsigned char bytes[] = {0x0A};
  std::ostringstream os;
  os << std::setfill('*');
  os << ext::OutBufInHex(bytes, bytes) << 10 << ' ' << ext::OutBufInHex(bytes, bytes + 1) << 10
     << ' ' << ext::OutUnsignedInHex(10, 3) << ' ' << std::setw(3) << 10;
  EXPECT_EQ(os.str(), "10 0A 10 0x00A  10");
}

TEST(ExtTable, DumpShape) {
  ext::Table t;
  t.add(5);
  t.add(4);
  std::ostringstream os;
  ext::Table::Sentry(os, t) << ext::delimeter;
  ext::Table::Sentry(os, t) << ext::beginrow << "name" << ext::nextrow << "n" << ext::nextrow
                            << ext::delimeter;
  for (int i = 0; i < 2; ++i)
    ext::Table::Sentry(os, t) << ext::beginrow << "r" << ext::nextrow << i << ext::nextrow;
  ext::Table::Sentry(os, t) << ext::delimeter;
  EXPECT_EQ(os.str(),
            "+-----+----+\n"
            "|name | n  |\n"
            "+-----+----+\n"
            "|  r  | 0  |\n"
            "|  r  | 1  |\n"
            "+-----+----+\n");
}

}  // namespace
