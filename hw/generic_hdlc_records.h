// The socket requests on the kernel's generic-HDLC network interfaces ("hdlcN") and the layout
// of their ifreq record, as the Linux UAPI headers give them (linux/sockios.h, linux/if.h,
// linux/hdlc/ioctl.h), written out so that the simulated board reads the same numbers.
//
// On a simulated board a SIOCWANDEV request carries the ifreq record followed by the bytes its
// settings pointer names (ifr_settings.size of them), and gets both back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace NetIoctl {
constexpr uint32_t kGetIndex = 0x8933;  // SIOCGIFINDEX
constexpr uint32_t kGetFlags = 0x8913;  // SIOCGIFFLAGS
constexpr uint32_t kSetFlags = 0x8914;  // SIOCSIFFLAGS
constexpr uint32_t kWanDev = 0x894A;    // SIOCWANDEV
}  // namespace NetIoctl

namespace WanSettings {
constexpr uint32_t kGetIface = 1;        // IF_GET_IFACE: the line settings into the buffer
constexpr uint32_t kProtoHdlc = 0x2000;  // IF_PROTO_HDLC
constexpr uint32_t kProtoPpp = 0x2001;   // IF_PROTO_PPP
constexpr uint32_t kIfaceE1 = 0x1004;    // IF_IFACE_E1: the type IF_GET_IFACE answers
constexpr size_t kGetIfaceSize = 128;
constexpr size_t kSlotMapOffset = 12;  // te1_settings.slot_map in the IF_GET_IFACE buffer
}  // namespace WanSettings

namespace NetFlags {
constexpr uint16_t kUp = 0x1;             // IFF_UP
constexpr uint16_t kLoopback = 0x8;       // IFF_LOOPBACK
constexpr uint16_t kPointToPoint = 0x10;  // IFF_POINTOPOINT
}  // namespace NetFlags

// struct ifreq on a 64-bit host: the name, then the union at 16.
struct net_ifreq {
  char name[16];
  union {
    int32_t index;
    int16_t flags;
    struct {
      uint32_t type;
      uint32_t size;
      uint64_t pointer;
    } settings;
    unsigned char bytes[24];
  } u;
};

static_assert(sizeof(net_ifreq) == 40, "net_ifreq");
static_assert(offsetof(net_ifreq, u) == 16, "ifr_ifru");
