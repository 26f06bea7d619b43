#include "slots/media/rtp_setup.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <random>

#include "base/device.h"
#include "base/ext_escaped.h"
#include "base/ext_header.h"
#include "base/inet4_addr.h"
#include "hw/device_names.h"
#include "slotbase/slots.h"
#include "slots/media/rtp_factory.h"

namespace {

constexpr int kUdp = 17;

// The next SSRC of a generator seeded once per process from the time and the pid, so that a
// restarted daemon does not hand out the same sequence again.
uint32_t NextSsrc() {
  static std::mt19937 generator(static_cast<uint32_t>(std::time(nullptr)) ^
                                (static_cast<uint32_t>(::getpid()) << 16));
  return static_cast<uint32_t>(generator());
}

}  // namespace

int OpenRtpSession() { return Device::open(GetRtpDevName(), O_RDONLY | O_NONBLOCK); }

bool BeginRtpSession(int fd, rtp_connection_params& params) {
  return Device::ioctl(fd, RtpIoctl::kBeginSession, &params, sizeof params) >= 0;
}

bool AddRtpChannel(int fd, rtp_channel_info& channel) {
  return Device::ioctl(fd, RtpIoctl::kAddChannel, &channel, sizeof channel) >= 0;
}

bool RtpSetup::CheckPayload() {
  const int payload = rtp_.get_payload().asInt();
  if ((payload >= TERM::Payload::ptG711_Alaw && payload <= TERM::Payload::ptG711mcc_Ulaw) ||
      payload == TERM::Payload::ptG728) {
    return true;
  }
  header_.Log("rtp do not created: payload not found", [&](std::ostream& os) {
    os << "rtp do not created: payload " << rtp_.get_payload() << " not found";
  });
  return false;
}

uint16_t RtpSetup::local_port() const {
  return static_cast<uint16_t>(rtp_.has_shost() ? rtp_.get_shost().get_port().getValue()
                                                : rtp_.get_dhost().get_port().getValue());
}

bool RtpSetup::OpenRtcp(bool reuse_address) {
  rtcp = Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, kUdp));
  if (!rtcp) {
    const int error = errno;
    header_.Log("rtp do not created: can not create socket", [&](std::ostream& os) {
      os << "rtp do not created: can not create socket [errno=" << std::strerror(error) << "]";
    });
    return false;
  }
  const int one = 1;
  if (reuse_address) ::setsockopt(rtcp.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const uint16_t port = static_cast<uint16_t>(local_port() + 1);
  if (port == 0) {
    header_.Log("local port 65535: the RTCP port wraps to 0");
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (::bind(rtcp.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = errno;
    header_.Log("rtp do not created: can not bind socket", [&](std::ostream& os) {
      os << "rtp do not created: can not bind socket [errno=" << std::strerror(error)
         << ", port=" << port << "]";
    });
    rtcp.close();
    return false;
  }
  return true;
}

bool RtpSetup::OpenSession() {
  session = Fd(OpenRtpSession());
  if (session) return true;
  const int error = errno;
  header_.Log("rtp device open fail", [&](std::ostream& os) {
    os << "device " << ext::quoted(GetRtpDevName()) << " open fail: " << std::strerror(error);
  });
  return false;
}

bool RtpSetup::dotted(const std::string& text, in_addr_t& address, const char* kind) {
  if (INet4::parse_dotted(text, address)) return true;
  header_.Log(kind, [&](std::ostream& os) { os << "rtp do not created: " << ext::escaped(text); });
  Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
  return false;
}

bool RtpSetup::FillParams() {
  params = rtp_connection_params{};
  if (!dotted(rtp_.get_dhost().get_iaddr(), params.remote_addr,
              "rtp do not created: bad remote address") ||
      (rtp_.has_shost() && !dotted(rtp_.get_shost().get_iaddr(), params.local_addr,
                                   "rtp do not created: bad local address"))) {
    return false;
  }
  params.remote_port = static_cast<uint16_t>(rtp_.get_dhost().get_port().getValue());
  params.local_port = local_port();
  const int payload = rtp_.get_payload().asInt();
  params.rx_pt = RtpFactory::translateCodec(payload, create_.get_rxPayload().asInt());
  params.tx_pt = RtpFactory::translateCodec(payload, create_.get_txPayload().asInt());
  if (rtp_.has_pfactor()) {
    const int32_t pfactor = rtp_.get_pfactor().getValue();
    if (!header_.Carries({Carried<uint16_t>("pfactor", pfactor)})) return false;
    params.packet_factor = static_cast<uint16_t>(pfactor);
  }
  params.vad = rtp_.has_vad() && rtp_.get_vad().getValue() ? 1 : 0;
  params.crate = rtp_.has_crate() && rtp_.get_crate().getValue() != 0 ? 1 : 0;
  params.ssrc = rtp_.has_ssrc() ? rtp_.get_ssrc().getValue() : NextSsrc();
  params.ttl = rtp_.has_ttl() ? rtp_.get_ttl().getValue() : 0;
  params.tos = rtp_.has_qos_dscp()
                   ? (static_cast<uint32_t>(rtp_.get_qos_dscp().asInt()) << 2) & 0xFC
                   : 0xFFFFFFFF;
  return true;
}

bool RtpSetup::BeginSession() {
  if (BeginRtpSession(session.get(), params)) return true;
  header_.Log("begin session fail !!! ");
  return false;
}

bool RtpSetup::AddChannel(uint32_t last_word) {
  channel = rtp_channel_info{-1, -1, -1, last_word};
  if (AddRtpChannel(session.get(), channel)) return true;
  header_.Log("add channel fail !!!");
  return false;
}

sockaddr_in RtpSetup::RtcpPeer() const {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = params.remote_addr;
  peer.sin_port = htons(static_cast<uint16_t>(params.remote_port + 1));
  return peer;
}
