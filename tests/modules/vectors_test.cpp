// Every block of the LGCP and MON vectors of tests/data (made by an independent codec): the
// octets decode, the value prints exactly as the block's text, the text parses back to an equal
// value, and that value encodes to exactly the same octets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/lgcp.h"
#include "asn1/modules/mon.h"
#include "asn1/value_pool.h"
#include "tests/support/values_left.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace {

[[maybe_unused]] const bool kValuesChecked = ValuesLeft::check_every_test();

struct Vector {
  std::string name;   // test name: "LGCP_Message_17"
  std::string type;   // "LGCP::Message" or "MON::Message"
  std::string hex;
  std::string text;
  std::string fault;  // set when the file could not be read
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.name; }

// The vectors live with the tests (tests/data); ORVEX_VECTORS names another file.
const char* const kDefaultVectors = ORVEX_SOURCE_DIR "/tests/data/messages.vec";

// Blocks of "= TYPE N", one hex line, then the value notation up to the next block.
std::vector<Vector> read_vectors() {
  const char* env = std::getenv("ORVEX_VECTORS");
  const std::string path = env ? env : kDefaultVectors;
  std::ifstream in(path);
  if (!in) return {{"missing_vectors", "", "", "", "cannot read " + path}};
  std::vector<Vector> vectors;
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 2, "= ") == 0) {
      std::istringstream head(line.substr(2));
      Vector v;
      std::string number;
      head >> v.type >> number;
      v.name = v.type.substr(0, v.type.find("::")) + "_Message_" + number;
      std::getline(in, v.hex);
      vectors.push_back(v);
    } else if (!vectors.empty()) {
      std::string& text = vectors.back().text;
      if (!text.empty()) text += '\n';
      text += line;
    }
  }
  if (vectors.empty()) return {{"empty_vectors", "", "", "", "no blocks in " + path}};
  return vectors;
}

std::unique_ptr<ASN1::AbstractData> make(const std::string& type) {
  if (type == "LGCP::Message") return std::make_unique<LGCP::Message>();
  if (type == "MON::Message") return std::make_unique<MON::Message>();
  return nullptr;
}

class Vectors : public testing::TestWithParam<Vector> {};

TEST_P(Vectors, DecodePrintParseEncode) {
  const Vector& v = GetParam();
  ASSERT_TRUE(v.fault.empty()) << v.fault;
  std::unique_ptr<ASN1::AbstractData> decoded = make(v.type);
  ASSERT_TRUE(decoded) << "unknown type " << v.type;
  std::vector<char> octets;
  ASSERT_TRUE(Ctl::from_hex(v.hex, octets)) << v.hex;

  ASN1::CoderEnv env;
  env.set_per_Aligned();
  ASSERT_TRUE(ASN1::decode(octets.data(), octets.data() + octets.size(), &env, *decoded, true));
  EXPECT_EQ(decoded->asValueNotation(), v.text);

  std::unique_ptr<ASN1::AbstractData> parsed = make(v.type);
  ASSERT_TRUE(parsed->setFromValueNotation(v.text));
  EXPECT_EQ(parsed->compare(*decoded), 0) << parsed->asValueNotation();

  std::vector<char> encoded;
  ASSERT_TRUE(ASN1::encode(*parsed, &env, std::back_inserter(encoded)));
  EXPECT_EQ(Ctl::to_hex(encoded), v.hex);
}

INSTANTIATE_TEST_SUITE_P(Messages, Vectors, testing::ValuesIn(read_vectors()),
                         [](const testing::TestParamInfo<Vector>& info) {
                           return info.param.name;
                         });

// Every value object of a decode goes back to the pool with its message, whether the decode
// succeeds (the whole octets of a block) or fails part way (every shorter cut of them).
TEST(VectorValues, EveryCutOfEveryMessageGivesItsValuesBack) {
  ASN1::ValuePool& pool = ASN1::ValuePool::of_thread();
  ASN1::CoderEnv env;
  env.set_per_Aligned();
  for (const Vector& v : read_vectors()) {
    SCOPED_TRACE(v.name);
    ASSERT_TRUE(v.fault.empty()) << v.fault;
    std::vector<char> octets;
    ASSERT_TRUE(Ctl::from_hex(v.hex, octets)) << v.hex;
    for (size_t n = octets.size() + 1; n-- > 0;) {
      {
        std::unique_ptr<ASN1::AbstractData> value = make(v.type);
        ASSERT_TRUE(value) << "unknown type " << v.type;
        const bool whole = ASN1::decode(octets.data(), octets.data() + n, &env, *value, true);
        ASSERT_TRUE(whole || n < octets.size());
        ASSERT_GT(pool.live(), 0u);
      }
      ASSERT_EQ(pool.live(), 0u) << n << " of " << octets.size() << " octets";
    }
  }
}

}  // namespace
