// Which D-channel frames a data link takes by their address, on either side of the interface:
// data-link frames on SAPI 0, TEI management in UI frames to the group TEI on SAPI 63, the group
// TEI in UI frames only, with or without the P bit (Q.921 sets it to 0 and gives it no meaning
// in a UI frame), so the receivers need not look at the control octet of a group-TEI frame
// again. A frame refused here is logged by its receiver, at most one line a second, and the
// count of those left out written when the receiver ends.
#pragma once

#include <cstdint>
#include <iostream>

#include "base/ext_header.h"
#include "base/ext_hex.h"
#include "base/log_throttles.h"

namespace ISDN {

constexpr unsigned kDataLinkSapi = 0;
constexpr unsigned kManagementSapi = 63;
constexpr unsigned kGroupTei = 127;

// `control` is the first control octet; a UI frame is 0x03 with or without P.
inline bool frame_address_taken(unsigned sapi, unsigned tei, unsigned char control) {
  // Data-link frames to one TEI first: every frame of an established link.
  if (sapi == kDataLinkSapi && tei != kGroupTei) return true;
  const bool ui = (control & ~0x10) == 0x03;
  return ui && tei == kGroupTei && (sapi == kDataLinkSapi || sapi == kManagementSapi);
}

// "frame dropped: SAPI 63, TEI 127, control 0x43" after the owner's header, when `logs` allow a
// line of the kind now.
template <typename Owner>
__attribute__((noinline, cold)) void log_dropped_frame(const Owner* owner, LogThrottles& logs,
                                                       unsigned sapi, unsigned tei,
                                                       unsigned char control) {
  logs.write(std::clog, owner, "frame dropped: ", "SAPI ", sapi, ", TEI ", tei, ", control ",
             ext::OutUnsignedInHex(control, 2));
}

// frame_address_taken, for a receiver: a frame refused has its line (log_dropped_frame).
template <typename Owner>
inline bool accept_frame_address(const Owner* owner, LogThrottles& logs, unsigned sapi,
                                 unsigned tei, unsigned char control) {
  if (frame_address_taken(sapi, tei, control)) return true;
  log_dropped_frame(owner, logs, sapi, tei, control);
  return false;
}

}  // namespace ISDN
