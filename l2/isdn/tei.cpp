// Q.921 5.3: TEI assignment, check and removal on the user side of a basic-rate link. The
// management messages are UI frames on SAPI 63 to the group TEI 127.
#include <functional>
#include <iostream>
#include <random>
#include <utility>

#include "base/ext_header.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_internal.h"

namespace ISDN {

namespace {

// Q.921 5.3.2: the layer management entity identifier and the message types.
constexpr unsigned char kManagementEntity = 0x0F;
enum TeiMessage : unsigned {
  kIdentityRequest = 1,
  kIdentityAssigned = 2,
  kIdentityDenied = 3,
  kIdentityCheckRequest = 4,
  kIdentityCheckResponse = 5,
  kIdentityRemove = 6,
};

std::function<uint16_t()>& ri_source() {
  static std::function<uint16_t()> source;
  return source;
}

// Ri: a new pseudo-random reference for each request, from one generator seeded once.
uint16_t new_ri() {
  if (ri_source()) return ri_source()();
  static std::mt19937 generator{std::random_device{}()};
  return static_cast<uint16_t>(generator());
}

}  // namespace

void set_ri_source(std::function<uint16_t()> source) { ri_source() = std::move(source); }

void LAPD::change_to_bri() { bri_ = true; }

void LAPD::on_mdl_assign() {}

void LAPD::BeginTeiAssignProcedure() {
  if (!bri_ || side != Side::user) return;
  set_state(1);
  on_mdl_assign();
  ri_ = new_ri();
  tx_identity(ri_, kGroupTei, kIdentityRequest);
  rc = 0;
  stop_timer(T200);
  stop_timer(T203);
  start_timer(T202);
}

void LAPD::start_tei_procedure_if_idle() {
  if (!bri_ || side != Side::user || t202_running) return;
  const bool establish = state == 2;
  BeginTeiAssignProcedure();
  if (establish) set_state(2);
}

void LAPD::on_T202A() {
  if (state != 1 && state != 2) return;
  if (rc > n202) {
    // Q.921 5.3.2: no answer to N202 + 1 requests.
    state = 0;
    link_down(make_status<Status>(this, "link error (T202 expired N202 times)"));
    return;
  }
  ri_ = new_ri();
  tx_identity(ri_, kGroupTei, kIdentityRequest);
  start_timer(T202);
  ++rc;
}

bool LAPD::tx_identity(unsigned ri, unsigned ai, unsigned type) {
  if (!bri_) return false;
  Packet frame;
  if (!new_frame(frame)) return false;
  frame.put8(side == Side::user ? 0xFC : 0xFE);
  frame.put8(0xFF);
  frame.put8(UI);
  frame.put8(kManagementEntity);
  frame.put16(static_cast<unsigned short>(ri));
  frame.put8(static_cast<unsigned char>(type));
  frame.put8(static_cast<unsigned char>(ai << 1 | 1));
  return xmit(frame);
}

void LAPD::mdl_assign(unsigned char tei) {
  if (log > 1)
    std::clog << ext::header(this) << "MDL-ASSIGN"
              << " (tei=" << unsigned(tei) << ")" << std::endl;
  self_tei = tei;
  if (state == 2) {
    establish_dl();
    l3_initiated = true;
    set_state(4);
  } else {
    set_state(3);
  }
}

void LAPD::mdl_remove() {
  logs_.write(std::clog, this, "MDL-REMOVE");
  if (state < 3) return;
  const uint32_t was = state;
  if (was != 5) discard_queue();
  stop_timer(T200);
  if (was == 6) stop_timer(T203);
  set_state(0);
  if (was != 3) link_down(make_status<Status>(this, "error (MDL-REMOVE received)"));
  if (!entry_) {
    Entry entry(this);
    flush(entry);
  }
}

void LAPD::on_UI(Packet& info) {
  const unsigned length = info.length();
  if (length == 0) return;
  if (log > 3) std::clog << ext::header(this) << "on_UI()" << std::endl;
  const unsigned char* octets = static_cast<const Packet&>(info)->data;
  if (peer_sapi != kManagementSapi) {
    if (side == Side::user) {
      // A broadcast starts the link for layer 3. One that comes while the link is established
      // again after an error leaves that establishment the link's own: the owner, never told
      // that the link went down, is not told again that it is up.
      const bool reestablishing = state == 4 && !l3_initiated;
      if (state == 4) set_state(3);
      if (state == 3) local_activate();
      if (reestablishing) l3_initiated = false;
    }
    Entry entry(this);
    if (!flush(entry)) return;
    Protocol::on_message(info);
    return;
  }
  // Q.921 5.3.2: the management entity, Ri (two octets), the message type and Ai.
  if (length < 5 || octets[0] != kManagementEntity) return;
  const unsigned ri = octets[1] | octets[2] << 8;
  const unsigned type = octets[3];
  const unsigned ai = octets[4] >> 1;
  if (log > 3)
    std::clog << ext::header(this) << "on_UI() type=" << type << " Ai=" << ai << std::endl;
  // The network side's messages; a user side's own ones (check response) are not for us.
  if (side != Side::user) return;
  switch (type) {
    case kIdentityAssigned:
      if ((state == 1 || state == 2) && ri == ri_) {
        stop_timer(T202);
        mdl_assign(static_cast<unsigned char>(ai));
        start_timer(T200);
      }
      break;
    case kIdentityDenied:
      if (state == 1 && ri == ri_) {
        if (ai == kGroupTei)
          logs_.write(std::clog, this, "ASP returned: ", "All TEI's used");
        else
          logs_.write(std::clog, this, "ASP returned: ", "TEI ", ai, " denied");
        report_error(mdl::kTeiDenied);
      }
      break;
    case kIdentityCheckRequest:
      if (state > 2 && (ai == kGroupTei || ai == self_tei))
        tx_identity(ri_, self_tei, kIdentityCheckResponse);
      break;
    case kIdentityRemove:
      // Q.921 5.3.4.1: the network sends each removal twice. A link whose request is under way
      // holds no TEI any more, and asks once for each removal.
      if (state == 1 || state == 2) break;
      if (ai == kGroupTei || ai == self_tei) {
        mdl_remove();
        BeginTeiAssignProcedure();
      }
      break;
  }
}

}  // namespace ISDN
