// The RTCP encoders in small buffers and at the text limit, byte for byte (the packets of a whole
// session are checked where the RTP slot sends them).
#include "slots/media/rtcp.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/command_output.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace {

constexpr uint32_t kSsrc = 0x12345678;

struct Encoding {
  const char* name;
  std::function<std::unique_ptr<RTPC::Msg>()> make;
  unsigned size;
  std::string hex;  // the packet; "" when nothing is encoded
};

std::unique_ptr<RTPC::Msg> sdes(std::vector<std::string> texts) {
  auto m = std::make_unique<RTPC::SDES>(kSsrc);
  for (const auto& t : texts) m->add(RTPC::SDES::Item::CNAME, t);
  return m;
}

std::unique_ptr<RTPC::Msg> bye(const std::string& reason) {
  return std::make_unique<RTPC::BYE>(kSsrc, reason);
}

TEST(Rtcp, Encodes) {
  const std::string k300(300, 'x');
  const Encoding cases[] = {
      {"ByeEmptyReason", [] { return bye(""); }, 1024, "81CB000112345678"},
      {"ByeReasonCutToTheRoom", [] { return bye("session end"); }, 15,
       "81CB00021234567803" + hex("ses")},
      {"SevenBytesEncodeNothing", [] { return bye(""); }, 7, ""},
      {"SdesItemCutTo255", [k300] { return sdes({k300}); }, 1024,
       "81CA004212345678" "01FF" + hex(k300.substr(0, 255)) + "000000"},
      {"SdesItemThatDoesNotFitIsLeftOut", [] { return sdes({"Marbrook Sarvello"}); }, 19,
       "81CA00021234567800000000"},
      {"SdesKeepsTheItemsThatFit", [] { return sdes({"ab", "Marbrook Sarvello"}); }, 23,
       "81CA0003123456780102" + hex("ab") + "00000000"},
      // 28 bytes leave 20 after the SSRC: an item of 18 bytes of text fills them, with no
      // room for the end of the list; one of 16 fits with its end and padding.
      {"SdesItemFillingTheRoomIsLeftOut", [] { return sdes({std::string(18, 'y')}); }, 28,
       "81CA00021234567800000000"},
      {"SdesItemFitsToTheLastByte", [] { return sdes({std::string(16, 'y')}); }, 28,
       "81CA0006123456780110" + hex(std::string(16, 'y')) + "0000"},
  };
  for (const Encoding& e : cases) {
    SCOPED_TRACE(e.name);
    // Guard bytes after the buffer catch a write past its size.
    std::vector<char> buffer(e.size + 8, '\x5A');
    const unsigned n = e.make()->encode(buffer.data(), e.size);
    EXPECT_EQ(Ctl::to_hex(std::vector<char>(buffer.begin(), buffer.begin() + n)), e.hex);
    EXPECT_EQ(std::string(buffer.begin() + e.size, buffer.end()), std::string(8, '\x5A'));
  }
}

}  // namespace
