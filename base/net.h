// Net: the host name and the IPv4 addresses and names of the network interfaces.
#pragma once

#include <list>
#include <string>

#include "base/inet4_addr.h"

namespace Net {

// Interface selection bits; an interface is selected when any requested bit matches it, and
// mode 0 selects every IPv4 interface.
typedef unsigned ifconfig_mode_t;
constexpr ifconfig_mode_t ifconfig_not_loopback = 1;  // not named "lo" (any case)
constexpr ifconfig_mode_t ifconfig_link_local = 2;    // 169.254.0.0/16
constexpr ifconfig_mode_t ifconfig_private = 4;       // 10/8, 172.16/12, 192.168/16

// gethostname(2); "" on failure.
std::string hostname();
// sethostname(2).
int hostname(const std::string& name);

// Appends the address (port 0) of every selected IPv4 interface to `out`, which is not cleared;
// returns how many were appended, or -1 when the interface list cannot be read.
int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode);
// Appends the names of the selected IPv4 interfaces whose interface flags hold every bit of
// `flags`; returns how many were appended, or -1.
int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned flags);

}  // namespace Net
