#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "base/ext_hex.h"
#include "base/ext_table.h"

namespace {

// The hex dumps leave the stream's fill and width as they found them.
TEST(ExtHex, DumpsAndRestoresStreamFormat) {
  const unsigned char bytes[] = {0x01, 0xAB, 0x7F, 0x00, 0xFF};
  std::ostringstream os;
  os << std::setfill('*');
  os << ext::OutBufInHex(bytes, bytes) << 10 << ' ' << ext::OutBufInHex(bytes, bytes + 5) << 10
     << ' ' << ext::OutUnsignedInHex(10, 3) << ' ' << ext::OutUnsignedInHex(0xDEADBEEF, 0) << ' '
     << ext::OutUnsignedInHex(0xABC, -3) << ' ' << std::setw(3) << 10;
  EXPECT_EQ(os.str(), "10 01 AB 7F 00 FF 10 0x00A 0xDEADBEEF 0xABC  10");
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
