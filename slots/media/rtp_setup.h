// RtpSetup: the set-up of an RTP slot's session, one step per call, so that every RTP slot
// factory (the plain one and the radio ones) runs the steps it needs in its order. A step that
// fails logs why, with the factory's header, and returns false; the factory then gives up, and
// the RtpSetup closes every descriptor it opened. What a slot takes it duplicates, so the
// factory's copies close with the RtpSetup in any case.
//
// The steps, in the order of a create:
//   CheckPayload   the payload is one the engine carries (G.711, G.723, G.729, G.728)
//   OpenRtcp       the RTCP socket, bound to the local RTP port plus one
//   OpenSession    a session of the RTP engine (/dev/rtp)
//   FillParams     the session record from the create parameters (an address that is not
//                  dotted, or a pfactor its 16 bits cannot carry, refuses the create with
//                  invalidParams)
//   BeginSession   the engine takes the record
//   AddChannel     the engine gives the session its switch channel (`channel.tdm`)
// and, once the slot exists, RtcpPeer for its RTCP packets.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "asn1/modules/lgcp.h"
#include "base/fd.h"
#include "hw/rtp_records.h"
#include "slots/media/rtp_capacity.h"

// Opens a session of the RTP engine, read-only, non-blocking and close-on-exec; -1 with errno.
int OpenRtpSession();
// The session requests of a set-up and of a restart; false with errno.
bool BeginRtpSession(int fd, rtp_connection_params& params);
bool AddRtpChannel(int fd, rtp_channel_info& channel);

class RtpSetup {
 public:
  // `header` is the factory's, which writes the log lines; both must outlive the set-up.
  RtpSetup(const LGCP::CreateRtpParams& params, RtpCapacity& header)
      : create_(params), rtp_(params.get_codecRTP()), header_(header) {}

  bool CheckPayload();
  // The radio factories bind without SO_REUSEADDR.
  bool OpenRtcp(bool reuse_address);
  bool OpenSession();
  bool FillParams();
  bool BeginSession();
  // `last_word` is the channel record's fourth word.
  bool AddChannel(uint32_t last_word);
  // The remote address of the record, at the remote RTP port plus one.
  sockaddr_in RtcpPeer() const;

  const TERM::RtpParams& rtp() const { return rtp_; }

  Fd rtcp;
  Fd session;
  rtp_connection_params params{};
  rtp_channel_info channel{};

 private:
  // The local RTP port: shost's when given, else dhost's.
  uint16_t local_port() const;
  // `text` as a dotted address in `address`; else the line of `kind`, and the create is refused
  // with invalidParams: the record's address field cannot carry it.
  bool dotted(const std::string& text, in_addr_t& address, const char* kind);

  const LGCP::CreateRtpParams& create_;
  const TERM::RtpParams& rtp_;
  RtpCapacity& header_;
};
