#include "base/inet4_addr.h"

#include <arpa/inet.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace INet4 {

static_assert(sizeof(sockaddr_in) == 16, "sockaddr_in is the 16-byte IPv4 socket address");

std::string dotted(in_addr_t network_order) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &network_order, text, sizeof text);
  return text;
}

bool parse_dotted(const std::string& text, in_addr_t& network_order) {
  in_addr a;
  // inet_pton stops at a NUL: a text with one inside would be read as its part before it.
  if (text.find('\0') != std::string::npos || inet_pton(AF_INET, text.c_str(), &a) != 1)
    return false;
  network_order = a.s_addr;
  return true;
}

bool names_one_host(in_addr_t network_order) {
  const uint32_t host = ntohl(network_order);
  const uint32_t first = host >> 24;
  return first != 0 && first < 224 && host != 0x7fffffffu;
}

void Addr::Reset() {
  std::memset(&in_, 0, sizeof in_);
  in_.sin_family = AF_INET;
}

bool Addr::Assign(const char* text, int* port) { return assign(text, std::strlen(text), port); }

bool Addr::Assign(const std::string& text, int* port) {
  return assign(text.data(), text.size(), port);
}

bool Addr::assign(const char* text, size_t length, int* port) {
  const char* colon = static_cast<const char*>(std::memchr(text, ':', length));
  std::string host;
  if (colon) {
    const std::string digits(colon + 1, text + length);
    // The board's long is 32 bits: strtol saturates there, and so does this.
    long n = std::strtol(digits.c_str(), nullptr, 10);
    if (n > INT_MAX) n = INT_MAX;
    if (n < INT_MIN) n = INT_MIN;
    in_.sin_port = htons(static_cast<uint16_t>(n));
    if (port) *port = static_cast<int>(n);
    host.assign(text, colon);
  } else {
    if (port) *port = -1;
    host.assign(text, length);
  }
  return inet_aton(host.c_str(), &in_.sin_addr) != 0;
}

void Addr::Assign(unsigned long address) { in_.sin_addr.s_addr = static_cast<in_addr_t>(address); }

bool Addr::IsEqual(const Addr& other) const {
  return in_.sin_addr.s_addr == other.in_.sin_addr.s_addr && in_.sin_port == other.in_.sin_port;
}

void Addr::Put(std::ostream& os) const { os << std::dec << GetString(); }

std::string Addr::GetString() const {
  return dotted() + ':' + std::to_string(ntohs(in_.sin_port));
}

std::vector<char> Addr::GetVector() const {
  const char* b = reinterpret_cast<const char*>(&in_.sin_addr.s_addr);
  return std::vector<char>(b, b + 4);
}

}  // namespace INet4
