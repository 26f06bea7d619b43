// SnmpSetSplitter on lists with commands no frame can carry at different places: the frames
// decode, keep the order, stay within the transport's and the decoder's limits and are filled,
// and each command left out is logged once.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "monitoring/snmp_set_splitter.h"
#include "tests/support/stream_capture.h"

namespace {

struct SplitCase {
  std::string name;
  size_t count;                 // commands in the list, uniq 1000 + index
  size_t value_size;            // characters of each value
  std::vector<size_t> too_big;  // indexes of values no frame carries
  std::vector<size_t> unset;    // indexes of commands whose id is not chosen
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitterTest : public testing::TestWithParam<SplitCase> {};

bool contains(const std::vector<size_t>& v, size_t i) {
  return std::find(v.begin(), v.end(), i) != v.end();
}

size_t encoded_size(const ASN1::AbstractData& value) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> bytes;
  EXPECT_TRUE(ASN1::encode(value, &env, std::back_inserter(bytes)));
  return bytes.size();
}

TEST_P(SplitterTest, FramesCarryEveryCommandThatFitsAndEachLeftOutOneIsLoggedOnce) {
  const SplitCase& c = GetParam();
  MON::SnmpSetCommands list;
  std::vector<int> expected;
  Lines expected_lines;
  for (size_t i = 0; i < c.count; ++i) {
    MON::SnmpSetCommand command;
    const int uniq = int(1000 + i);
    command.set_uniq(uniq);
    if (!contains(c.unset, i)) {
      MON::IniName& id = command.get_id().select_name();
      id.set_section("S");
      id.set_name("v" + std::to_string(i));
      id.set_index(0);
    }
    const bool huge = contains(c.too_big, i);
    command.set_value(std::string(huge ? 70000 : c.value_size, char('a' + i % 26)));
    list.get_commands().push_back(command);
    if (huge || contains(c.unset, i))
      expected_lines.push_back("monitoring: SNMP set command uniq " + std::to_string(uniq));
    else
      expected.push_back(uniq);
  }

  LogCapture logs;
  SnmpSetSplitter splitter(list);
  std::vector<int> got;
  std::vector<MON::Message> frames;
  std::vector<char> bytes;
  while (splitter.next(&bytes)) {
    ASSERT_LE(bytes.size(), SnmpSetSplitter::kMaxBytes);
    frames.emplace_back();
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    ASSERT_TRUE(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, frames.back(), true));
    const auto& commands = frames.back().get_pdu().get_command().get_snmp_set().get_commands();
    ASSERT_GT(commands.size(), 0u);
    ASSERT_LE(commands.size(), SnmpSetSplitter::kCommandsPerFrame);
    for (const auto& command : commands) got.push_back(command.get_uniq().getValue());
  }
  EXPECT_EQ(got, expected);

  // A frame ends only where the next command would not have fitted (within one octet per
  // command of slack).
  for (size_t f = 0; f + 1 < frames.size(); ++f) {
    const auto& commands = frames[f].get_pdu().get_command().get_snmp_set().get_commands();
    const auto& next = frames[f + 1].get_pdu().get_command().get_snmp_set().get_commands();
    if (commands.size() == SnmpSetSplitter::kCommandsPerFrame) continue;
    EXPECT_GT(encoded_size(frames[f]) + encoded_size(next[0]) + commands.size(),
              SnmpSetSplitter::kMaxBytes)
        << "frame " << f << " closed early";
  }

  const Lines lines = logs.err.take_lines();
  ASSERT_EQ(lines.size(), expected_lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].compare(0, expected_lines[i].size() + 1, expected_lines[i] + " "), 0)
        << lines[i];
    EXPECT_EQ(lines[i].substr(lines[i].size() - 10), ", not sent") << lines[i];
  }
}

// Values of 2000 characters fill a frame's bytes after 32 commands; those of 10 characters its
// count of 128 first.
INSTANTIATE_TEST_SUITE_P(
    Lists, SplitterTest,
    testing::Values(SplitCase{"NothingLeftOut", 100, 2000, {}, {}},
                    SplitCase{"FirstTooBig", 100, 2000, {0}, {}},
                    SplitCase{"TooBigInAFrame", 100, 2000, {5}, {}},
                    SplitCase{"TooBigWhereAFrameIsFull", 100, 2000, {31, 32, 33}, {}},
                    SplitCase{"TooBigAfterAFullFrame", 100, 2000, {32}, {}},
                    SplitCase{"LastTooBig", 100, 2000, {99}, {}},
                    SplitCase{"UnsetBesideTooBig", 100, 2000, {32}, {33}},
                    SplitCase{"TooBigWhereTheCountIsFull", 300, 10, {127, 128}, {}},
                    SplitCase{"AllLeftOut", 2, 10, {0}, {1}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

}  // namespace
