#include "slots/media/auth_records.h"

#include <arpa/inet.h>

#include <cstring>

#include "base/inet4_addr.h"

namespace {

uint32_t be32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void put32(std::string& out, uint32_t v) {
  const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  out.append(bytes, 4);
}

attr header(uint32_t length, Auth::Type type, int32_t session) {
  attr r;
  put32(r.bytes, length);
  put32(r.bytes, type);
  put32(r.bytes, static_cast<uint32_t>(session));
  return r;
}

std::string text(const attr& r, size_t offset) {
  const char* p = r.bytes.data() + offset;
  return std::string(p, strnlen(p, Auth::kTextSize));
}

BASE::INTEGER64Bits counter(const attr& r, size_t offset) {
  BASE::INTEGER64Bits c;
  c.get_high() = static_cast<int32_t>(r.word(offset));
  c.get_low() = static_cast<int32_t>(r.word(offset + 4));
  return c;
}

}  // namespace

uint32_t attr::word(size_t offset) const {
  if (offset + 4 > bytes.size()) return 0;
  return be32(reinterpret_cast<const unsigned char*>(bytes.data()) + offset);
}

voauth::voauth(const attr& r) : username(text(r, 12)), password(text(r, 76)) {}

voacct::voacct(const attr& r) {
  counters.get_octetsOut() = counter(r, 24);
  counters.get_octetsIn() = counter(r, 32);
  counters.get_packetsOut() = counter(r, 40);
  counters.get_packetsIn() = counter(r, 48);
  counters.get_time().get_low() = static_cast<int32_t>(r.word(56));
  counters.get_time().get_high() = 0;
}

namespace Auth {

attr accept(int32_t session) {
  attr r = header(16, kAccept, session);
  put32(r.bytes, 1);
  return r;
}

attr ip(int32_t session, const TERM::ModemUserParameters& p,
        std::vector<std::string>& unparsed) {
  attr r = header(36, kIp, session);
  put32(r.bytes, 0);
  for (const std::string* a :
       {&p.get_remoteAddr(), &p.get_netmask(), &p.get_gateway(), &p.get_dns()}) {
    in_addr_t address = 0;
    if (!a->empty() && !INet4::parse_dotted(*a, address)) unparsed.push_back(*a);
    put32(r.bytes, ntohl(address));
  }
  put32(r.bytes, static_cast<uint32_t>(p.get_mtu().getValue()));
  return r;
}

Reader::Result Reader::took(size_t n) {
  pos_ += n;
  if (pos_ < end_) return kMore;
  const uint32_t length = be32(buffer_);
  if (end_ == 4) {
    if (length < kHeaderSize || length > kMaxRecord) {
      bad_length_ = length;
      pos_ = 0;
      return kBadLength;
    }
    end_ = length;
    return kMore;
  }
  record_.bytes.assign(reinterpret_cast<const char*>(buffer_), length);
  pos_ = 0;
  end_ = 4;
  return kRecord;
}

}  // namespace Auth
