// The records of the kernel RTP engine (/dev/rtp, /dev/rtp_ext), their printed forms for traces,
// the engine's error codes and the names of codec kinds.
//
// Records are plain structs in the processor's byte order; addresses and ports that the engine
// takes in network order are stored so by the caller. Reserved bytes are zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

// The requests of a session on /dev/rtp (type character 'R').
namespace RtpIoctl {
constexpr uint32_t kBeginSession = 0xC02C5200;  // rtp_connection_params
constexpr uint32_t kAddChannel = 0xC0105202;    // rtp_channel_info, in and out
constexpr uint32_t kStop3 = 0x20005203;         // no argument
constexpr uint32_t kInputOn = 0x20005204;       // no argument
constexpr uint32_t kInputOff = 0x20005205;      // no argument
constexpr uint32_t kStop10 = 0x2000520A;        // no argument
constexpr uint32_t kStop11 = 0x2000520B;        // no argument
constexpr uint32_t kEventOn = 0xC024520C;       // rtp_event_params
constexpr uint32_t kEventOff = 0x8004520D;      // uint32_t event type
}  // namespace RtpIoctl

// The codec capacity request of /dev/voice: a uint32_t selector by address; the result is the
// number of channels of that kind.
namespace VoiceIoctl {
constexpr uint32_t kCapacity = 0x40045602;
constexpr uint32_t kG711 = 1;
constexpr uint32_t kG723 = 2;
constexpr uint32_t kG729 = 4;
constexpr uint32_t kG711Mcc = 8;
constexpr uint32_t kUniversal = 65;
}  // namespace VoiceIoctl

// The event type of the packet detector, in rtp_event and rtp_event_params.
constexpr uint32_t kRtpEventPD = 1;

// The session parameters given when a session begins.
struct rtp_connection_params {
  uint32_t remote_addr;
  uint16_t remote_port;
  uint8_t reserved1[2];
  uint32_t local_addr;
  uint16_t local_port;
  uint16_t rx_pt;  // payload type received (decoder)
  uint16_t tx_pt;  // payload type sent (encoder)
  uint16_t packet_factor;
  uint8_t vad;
  uint8_t crate;
  uint8_t reserved2[2];
  uint32_t ssrc;
  uint8_t reserved3[8];
  uint32_t ttl;
  uint32_t tos;  // 0xFFFFFFFF when not given
};

// A session channel: time slot, device number and channel (-1 lets the engine choose).
struct rtp_channel_info {
  int32_t tdm;
  int32_t dev_no;
  int32_t chn;
  uint32_t reserved;
};

// An RTP session named by its descriptor in its owning process.
struct rtp_attach_session_params {
  int32_t fd_rtp;
  int32_t pid_rtp;
};

struct rtp_ext_attach_session_params {
  int32_t fd_rtp;
  int32_t pid_rtp;
};

// The header-extension session set-up; the words after etype belong to the radio slots.
struct rtp_ext_init_params {
  uint16_t etype;
  uint16_t reserved;
  uint32_t word1;
  uint32_t word2;
  uint32_t word3;
  uint32_t word4;
};

// One event of a session, read whole: word 0 its type, then its values (type 1, the packet
// detector: value and timeout).
struct rtp_event {
  uint32_t type;
  uint32_t value;
  uint32_t timeout;
  uint32_t reserved[6];
};

// Switches an event detector of the session on: the packet detector is {1, 0, timeout, 0, 0,
// timeout, 0, 0, 0}.
struct rtp_event_params {
  uint32_t type;
  uint32_t reserved1;
  uint32_t timeout;
  uint32_t reserved2[2];
  uint32_t timeout2;
  uint32_t reserved3[3];
};

static_assert(sizeof(rtp_event_params) == 36, "rtp_event_params");
static_assert(offsetof(rtp_event_params, timeout) == 8, "timeout");
static_assert(offsetof(rtp_event_params, timeout2) == 20, "timeout2");

static_assert(sizeof(rtp_connection_params) == 44, "rtp_connection_params");
static_assert(sizeof(rtp_event) == 36, "rtp_event");
static_assert(offsetof(rtp_connection_params, remote_addr) == 0, "remote_addr");
static_assert(offsetof(rtp_connection_params, remote_port) == 4, "remote_port");
static_assert(offsetof(rtp_connection_params, local_addr) == 8, "local_addr");
static_assert(offsetof(rtp_connection_params, local_port) == 12, "local_port");
static_assert(offsetof(rtp_connection_params, rx_pt) == 14, "rx_pt");
static_assert(offsetof(rtp_connection_params, tx_pt) == 16, "tx_pt");
static_assert(offsetof(rtp_connection_params, packet_factor) == 18, "packet_factor");
static_assert(offsetof(rtp_connection_params, vad) == 20, "vad");
static_assert(offsetof(rtp_connection_params, crate) == 21, "crate");
static_assert(offsetof(rtp_connection_params, ssrc) == 24, "ssrc");
static_assert(offsetof(rtp_connection_params, ttl) == 36, "ttl");
static_assert(offsetof(rtp_connection_params, tos) == 40, "tos");

static_assert(sizeof(rtp_channel_info) == 16, "rtp_channel_info");
static_assert(offsetof(rtp_channel_info, tdm) == 0, "tdm");
static_assert(offsetof(rtp_channel_info, dev_no) == 4, "dev_no");
static_assert(offsetof(rtp_channel_info, chn) == 8, "chn");
static_assert(offsetof(rtp_channel_info, reserved) == 12, "reserved");

static_assert(sizeof(rtp_attach_session_params) == 8, "rtp_attach_session_params");
static_assert(offsetof(rtp_attach_session_params, fd_rtp) == 0, "fd_rtp");
static_assert(offsetof(rtp_attach_session_params, pid_rtp) == 4, "pid_rtp");
static_assert(sizeof(rtp_ext_attach_session_params) == 8, "rtp_ext_attach_session_params");
static_assert(offsetof(rtp_ext_attach_session_params, fd_rtp) == 0, "fd_rtp");
static_assert(offsetof(rtp_ext_attach_session_params, pid_rtp) == 4, "pid_rtp");

static_assert(sizeof(rtp_ext_init_params) == 20, "rtp_ext_init_params");
static_assert(offsetof(rtp_ext_init_params, etype) == 0, "etype");
static_assert(offsetof(rtp_ext_init_params, reserved) == 2, "reserved");
static_assert(offsetof(rtp_ext_init_params, word1) == 4, "word1");
static_assert(offsetof(rtp_ext_init_params, word2) == 8, "word2");
static_assert(offsetof(rtp_ext_init_params, word3) == 12, "word3");
static_assert(offsetof(rtp_ext_init_params, word4) == 16, "word4");

// Block form, every line indented by two blanks:
//   rtp_connection_params
//   {
//    packet_factor = 2
//   ...
//   }
std::ostream& operator<<(std::ostream& os, const rtp_connection_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& p);
// One line, no line end: "rtp_channel_info { tdm=1 dev_no=2 chn=3 }".
std::ostream& operator<<(std::ostream& os, const rtp_channel_info& c);

// "g711", "g729", ... for a codec kind; "invalid" for a value out of range.
const char* GetCodecAsStr(int codec);

// The text of an engine error code. An unknown code gives "Unknown RTP Error N" in a static
// buffer that the next unknown code overwrites.
const char* RTPStrError(int code);

// An engine error: its code and the errno of the failed request.
struct RtpErr {
  explicit RtpErr(int code);

  // Writes strerror of the captured errno.
  void Put(std::ostream& os) const;

  int err;
  int code;
};

inline std::ostream& operator<<(std::ostream& os, const RtpErr& e) {
  e.Put(os);
  return os;
}
