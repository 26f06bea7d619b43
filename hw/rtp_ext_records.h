// The requests and records of the header-extension engine /dev/rtp_ext (type character 'E'),
// and the request that attaches a /dev/rtp session to a header-extension session that another
// process holds. Records are in the processor's byte order; addresses in network order.
// The set-up records (rtp_ext_init_params and the attach records) are in hw/rtp_records.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace RtpExtIoctl {
constexpr uint32_t kInit = 0xC0144500;         // rtp_ext_init_params
constexpr uint32_t kAttach = 0xC0084501;       // rtp_ext_attach_session_params
constexpr uint32_t kDetach = 0x20004502;       // no record
constexpr uint32_t kPacketInfo = 0xC00C4503;   // rtp_ext_packet_info, filled
constexpr uint32_t kSetFilter = 0xC0084504;    // rtp_ext_source_filter
constexpr uint32_t kResetFilter = 0x20004505;  // no record
// On a /dev/rtp session: rtp_attach_session_params naming a /dev/rtp_ext session.
constexpr uint32_t kRtpAttach = 0xC0085209;
}  // namespace RtpExtIoctl

// The stream that carried the packet at the head of the inbound queue.
struct rtp_ext_packet_info {
  uint32_t ssrc;
  uint32_t addr;  // IPv4 source address, network order
  uint32_t reserved;
};

// The one source address accepted while the filter is set (0 in a reset).
struct rtp_ext_source_filter {
  uint32_t addr;  // network order
  uint32_t reserved;
};

static_assert(sizeof(rtp_ext_packet_info) == 12, "rtp_ext_packet_info");
static_assert(offsetof(rtp_ext_packet_info, addr) == 4, "addr");
static_assert(sizeof(rtp_ext_source_filter) == 8, "rtp_ext_source_filter");
