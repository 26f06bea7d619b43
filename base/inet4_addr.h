// INet4::Addr: an IPv4 socket address with a port, read from and printed as "a.b.c.d:port".
//
// It is one sockaddr_in (family, port and address in network byte order, 8 zero bytes) and is
// handed to bind, connect, accept and sendto as that structure with the length 16.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <ostream>
#include <string>
#include <vector>

namespace INet4 {

// "a.b.c.d" for an address in network byte order.
std::string dotted(in_addr_t network_order);
// Reads the dotted address "a.b.c.d" (four decimal numbers, nothing else) into
// `network_order`; false, leaving it as it was, when `text` is not one.
bool parse_dotted(const std::string& text, in_addr_t& network_order);
// True when the address (network byte order) stands for one host: false for 0.0.0.0/8 ("this
// network", 0.0.0.0 itself among them), for multicast (224.0.0.0/4) and for the reserved
// 240.0.0.0/4, which holds the broadcast 255.255.255.255, and for 127.255.255.255, the broadcast
// of the loopback network (no packet comes from it: one sent from a socket bound to it leaves
// from 127.0.0.1).
bool names_one_host(in_addr_t network_order);

class Addr {
 public:
  static constexpr socklen_t size = sizeof(sockaddr_in);

  Addr() { Reset(); }

  // Address 0.0.0.0, port 0, family AF_INET, all else zero.
  void Reset();

  // Reads "a.b.c.d" or "a.b.c.d:port" (the address as inet_aton reads it). With a colon, the
  // decimal number after it (as strtol reads it) becomes the port, cut to 16 bits, and is
  // stored whole in *port; without one, *port is -1 and the port is left as it was. False when
  // the address does not parse: the address is then unchanged, but a port that was read stays
  // set. `port` may be null. The family is not touched.
  bool Assign(const char* text, int* port = nullptr);
  bool Assign(const std::string& text, int* port = nullptr);
  // Sets the address (given in network byte order); family and port stay.
  void Assign(unsigned long address);

  // Same address and port (the family is not compared).
  bool IsEqual(const Addr& other) const;

  // "a.b.c.d:port"; leaves the stream in decimal.
  void Put(std::ostream& os) const;
  std::string GetString() const;
  // "a.b.c.d", without the port.
  std::string dotted() const { return INet4::dotted(in_.sin_addr.s_addr); }
  // The four address bytes in network order.
  std::vector<char> GetVector() const;

  sockaddr* sa() { return reinterpret_cast<sockaddr*>(&in_); }
  const sockaddr* sa() const { return reinterpret_cast<const sockaddr*>(&in_); }
  sockaddr_in& in() { return in_; }
  const sockaddr_in& in() const { return in_; }

 private:
  bool assign(const char* text, size_t length, int* port);

  sockaddr_in in_;
};

inline std::ostream& operator<<(std::ostream& os, const Addr& a) {
  a.Put(os);
  return os;
}

}  // namespace INet4
