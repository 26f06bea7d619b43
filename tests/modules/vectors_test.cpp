// Every block of the shared LGCP and MON vectors: the octets decode, the value prints exactly as
// the block's text, the text parses back to an equal value, and that value encodes to exactly
// the same octets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/lgcp.h"
#include "asn1/modules/mon.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace {

struct Vector {
  std::string name;   // test name: "LGCP_Message_17"
  std::string type;   // "LGCP::Message" or "MON::Message"
  std::string hex;
  std::string text;
  std::string fault;  // set when the file could not be read
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.name; }

// The shared vectors sit beside the source tree (a clone's ../shared); a worktree under
// wt/NAME finds them two levels up. ORVEX_VECTORS names another file.
const char* const vector_paths[] = {ORVEX_SOURCE_DIR "/../shared/vectors/messages.vec",
                                    ORVEX_SOURCE_DIR "/../../shared/vectors/messages.vec"};

// Blocks whose text spells field names otherwise than the schema: they write detected_rx and
// detected_tx for the fields detected-rx and detected-tx of the LEMZ radio state and keep-alive
// records (the digital GGS and DCON state records do spell them with "_"). Names are not on the
// wire, so these blocks are checked, octets included, with the schema's spelling.
const char* const respelled_blocks[] = {"LGCP_Message_57", "LGCP_Message_69", "LGCP_Message_106",
                                        "LGCP_Message_144"};
const char* const respellings[][2] = {{"detected_rx ", "detected-rx "},
                                      {"detected_tx ", "detected-tx "}};

void respell(Vector& v) {
  for (const char* block : respelled_blocks) {
    if (v.name != block) continue;
    for (const auto& r : respellings) {
      for (size_t at = v.text.find(r[0]); at != std::string::npos; at = v.text.find(r[0], at)) {
        v.text.replace(at, std::strlen(r[0]), r[1]);
      }
    }
  }
}

// Blocks of "= TYPE N", one hex line, then the value notation up to the next block.
std::vector<Vector> read_vectors() {
  std::vector<std::string> candidates(std::begin(vector_paths), std::end(vector_paths));
  if (const char* path = std::getenv("ORVEX_VECTORS")) candidates = {path};
  std::ifstream in;
  std::string path;
  for (const std::string& candidate : candidates) {
    in.open(candidate);
    if (in) {
      path = candidate;
      break;
    }
    in.clear();
  }
  if (!in) {
    return {{"missing_vectors", "", "", "",
             "cannot read " + candidates.front() + " (the shared vectors belong beside the "
             "source tree; ORVEX_VECTORS names another file)"}};
  }
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
  for (Vector& v : vectors) respell(v);
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

}  // namespace
