#include "slots/media/rtcp.h"

#include <algorithm>
#include <cstring>

namespace RTPC {

namespace {

constexpr unsigned kHeader = 4;
constexpr unsigned kMaxText = 255;

unsigned round_down4(unsigned n) { return n & ~3u; }

// Zeroes from `used` up to the next multiple of 4; the padded length.
unsigned pad4(char* p, unsigned used) {
  const unsigned padded = (used + 3) & ~3u;
  std::memset(p + used, 0, padded - used);
  return padded;
}

}  // namespace

unsigned Msg::put_ssrc(char* p) const {
  p[0] = static_cast<char>(ssrc >> 24);
  p[1] = static_cast<char>(ssrc >> 16);
  p[2] = static_cast<char>(ssrc >> 8);
  p[3] = static_cast<char>(ssrc);
  return 4;
}

unsigned Msg::encode(char* buffer, unsigned size) const {
  size = round_down4(size);
  if (size < 8) return 0;
  buffer[0] = static_cast<char>(0x80 | (count() & 0x1F));
  buffer[1] = static_cast<char>(pt());
  const unsigned length = kHeader + encode_body(buffer + kHeader, size - kHeader);
  const unsigned words = length / 4 - 1;
  buffer[2] = static_cast<char>(words >> 8);
  buffer[3] = static_cast<char>(words);
  return length;
}

void SDES::add(Item::Type type, const std::string& text) { items_.push_back({type, text}); }

unsigned SDES::encode_body(char* p, unsigned room) const {
  if (room < 4) return 0;
  unsigned used = put_ssrc(p);
  if (items_.empty() || room - used < 8) return used;
  for (const Item& item : items_) {
    const unsigned length = std::min<unsigned>(item.text.size(), kMaxText);
    // Room for the item, the end of the list and the padding after it.
    if (room - used < round_down4(length + 6)) break;
    p[used++] = static_cast<char>(item.type);
    p[used++] = static_cast<char>(length);
    std::memcpy(p + used, item.text.data(), length);
    used += length;
  }
  p[used++] = 0;
  return pad4(p, used);
}

unsigned BYE::encode_body(char* p, unsigned room) const {
  if (room < 4) return 0;
  unsigned used = put_ssrc(p);
  if (reason_.empty() || room - used <= 1) return used;
  const unsigned length = std::min<unsigned>({static_cast<unsigned>(reason_.size()), kMaxText,
                                              room - used - 1});
  p[used++] = static_cast<char>(length);
  std::memcpy(p + used, reason_.data(), length);
  return pad4(p, used + length);
}

}  // namespace RTPC
