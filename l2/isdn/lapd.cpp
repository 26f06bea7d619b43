// Q.921 multiple-frame operation: frame reception and dispatch, the I queue and acknowledge
// queue, establishment and release, the timers. TEI management is in tei.cpp, the reports and
// link information in lapd_status.cpp.
#include "l2/isdn/lapd.h"

#include <cstring>
#include <iostream>
#include <new>
#include <utility>

#include "base/ext_header.h"
#include "l2/isdn/lapd_internal.h"
#include "l2/isdn/q931_trace.h"

namespace ISDN {

namespace {

// Q.921 3.6: the I queue turns busy above this many messages and ready below the second.
constexpr unsigned kBusyAbove = 88;
constexpr unsigned kReadyBelow = 65;
constexpr unsigned kOutLimit = 127;
// Address and control octets of an I frame.
constexpr unsigned kIHeader = 4;

const char* const kTimerNames[] = {"T200", "T202", "T203"};

// One log line after the link's header, made out of line: the paths that run on every frame
// stay small.
template <class... Parts>
__attribute__((noinline, cold)) void log_line(const LAPD* lapd, const Parts&... parts) {
  std::clog << ext::header(lapd);
  (std::clog << ... << parts);
  std::clog << std::endl;
}

}  // namespace

// What the handlers of U frames read from a received frame's header.
struct LAPD::Received {
  bool command;
  // P or F.
  bool pf;
};

LAPD::Entry::Entry(LAPD* lapd) : lapd_(lapd), prev_(lapd->entry_) { lapd->entry_ = this; }

LAPD::Entry::~Entry() {
  if (lapd_) lapd_->entry_ = prev_;
}

LAPD::LAPD(Side::type side_, unsigned log_)
    : side(side_), log(log_), restart_line_(restart_line(this)) {
  discard_queue();
}

LAPD::~LAPD() {
  logs_.flush(this);
  restart_line_.flush();
  for (Entry* e = entry_; e; e = e->prev_) e->lapd_ = nullptr;
}

void LAPD::PutHeader(std::ostream& os) const { os << "LAPD[" << trunk << "] : "; }

void LAPD::local_prepare_head(Packet& p) { p.reserve_head(4); }

void LAPD::local_prepare_tail(Packet& p) { p.reserve_tail(0); }

// Reception ------------------------------------------------------------------------------------

void LAPD::on_hdlc_receive(Packet& frame) { receive(frame); }

void LAPD::on_hdlc_ready() {
  Entry entry(this);
  finish(entry);
}

void LAPD::on_hdlc_error(HDLC::Notify::Cause::Type) {
  Entry entry(this);
  if (state == 0 || state == 3) return;
  std::clog << ext::header(this) << "HDLC channel failed" << std::endl;
  discard_queue();
  stop_all_timers();
  set_state(state <= 2 ? 0 : 3);
  link_down(make_status<Status>(this, "link error (HDLC error)"));
  flush(entry);
}

__attribute__((always_inline)) inline void LAPD::finish_inline(const Entry& entry) {
  if (!flush(entry)) return;
  local_events();
  if (!entry.alive()) return;
  flush(entry);
}

void LAPD::receive(Packet& p) {
  // Q.921 2.2: address and control; S and I frames have a second control octet.
  const unsigned length = p.length();
  if (length < 3) return;
  Entry entry(this);
  const unsigned char* octets = static_cast<const Packet&>(p)->data;
  if (log > 2) trace("rx:", p, true);
  const unsigned a1 = octets[0];
  const unsigned a2 = octets[1];
  peer_sapi = a1 >> 2;
  if (a1 & 1) return;
  peer_tei = a2 >> 1;
  if (!(a2 & 1)) return;
  if (__builtin_expect(peer_tei != self_tei, 0)) {
    // Q.921 5.1: a user side on a basic-rate bus sees the other terminals' frames, most of
    // what it receives there, and passes them over at once.
    if (bri_ && side == Side::user && peer_tei != kGroupTei) return;
    if (!tei_accepted(p)) return;
  }
  const unsigned char control = octets[2];
  if (!accept_frame_address(this, logs_, peer_sapi, peer_tei, control)) return;
  // C/R as command_cr gives it for the peer's side; I frames do not look at it.
  const auto command = [this, a1] { return bool(a1 & 2) != (side != Side::user); };

  if (!(control & 1)) {
    // One test for an I frame shorter than its header and one longer than N201.
    if (__builtin_expect(length - 4 > n201, 0)) {
      if (length < 4) return;
      on_long_iframe();
    } else {
      const unsigned char n = octets[3];
      // N(R) and P are read already: pulling the header may copy the frame elsewhere.
      if (!pull_header(p, 4)) return;
      on_ICOM(control >> 1, n >> 1, n & 1, p, entry);
    }
  } else if ((control & 3) == 1) {
    if (length < 4) return;
    const unsigned char n = octets[3];
    const unsigned type = (control >> 2) & 3;
    if (type == 3) return;
    on_supervisory(type, n >> 1, n & 1, command());
  } else {
    const Received f{command(), bool(control & 0x10)};
    switch (control & ~0x10) {
      case DISC:
        on_disc(f);
        break;
      case UI: {
        if (!bri_) return;
        if (!pull_header(p, 3)) return;
        on_UI(p);
        break;
      }
      case DM:
        on_dm(f);
        break;
      case SABME:
        on_sabme(f);
        break;
      case UA:
        on_ua(f);
        break;
      case FRMR:
        on_frmr(f);
        break;
      default:
        return;
    }
  }
  if (entry.alive()) finish_inline(entry);
}

__attribute__((noinline, cold)) bool LAPD::tei_accepted(const Packet& frame) {
  // The group TEI is every link's; which frames to it are taken is the address check's to say.
  // A basic-rate network side serves every terminal on the bus.
  if (peer_tei == kGroupTei || bri_) return true;
  // A point-to-point link has one TEI: a frame to another is logged as one for another SAPI.
  log_dropped_frame(this, logs_, peer_sapi, peer_tei, frame->data[2]);
  return false;
}

void LAPD::on_sabme(const Received& f) {
  if (log > 3)
    std::clog << ext::header(this) << "SABME " << (f.command ? "command" : "response") << std::endl;
  reset_sequence();
  switch (state) {
    case 3:
      if (!establishable) {
        tx_cmd_resp(DM, f.pf, false);
        return;
      }
      tx_cmd_resp(UA, f.pf, false);
      clear_exception();
      start_timer(T203);
      set_state(6);
      link_up();
      break;
    case 4:
      tx_cmd_resp(UA, f.pf, false);
      break;
    case 5:
      tx_cmd_resp(DM, f.pf, false);
      break;
    case 6:
    case 7:
      tx_cmd_resp(UA, f.pf, false);
      clear_exception();
      stop_timer(T200);
      start_timer(T203);
      set_state(6);
      report_error(mdl::kPeerReestablish);
      link_up();
      break;
  }
}

void LAPD::on_disc(const Received& f) {
  if (log > 3)
    std::clog << ext::header(this) << "DISC " << (f.command ? "command" : "response") << std::endl;
  switch (state) {
    case 3:
    case 4:
      tx_cmd_resp(DM, f.pf, false);
      break;
    case 5:
      tx_cmd_resp(UA, f.pf, false);
      break;
    case 6:
    case 7:
      discard_queue();
      tx_cmd_resp(UA, f.pf, false);
      stop_timer(T200);
      stop_timer(T203);
      set_state(3);
      link_down(make_status<Status>(this, "remote error (DISC received)"));
      break;
  }
}

void LAPD::on_ua(const Received& f) {
  if (log > 3)
    std::clog << ext::header(this) << "UA " << (f.command ? "command" : "response") << std::endl;
  switch (state) {
    case 4:
      if (!f.pf) {
        report_error(mdl::kUaF0);
        return;
      }
      reset_sequence();
      stop_timer(T200);
      start_timer(T203);
      set_state(6);
      link_up(l3_initiated);
      break;
    case 5:
      if (!f.pf) {
        report_error(mdl::kUaF0);
        return;
      }
      reset_sequence();
      stop_timer(T200);
      set_state(3);
      link_down(make_status<Protocol_status_success>(this, "success (UA received)"));
      break;
    case 3:
    case 6:
    case 7:
      report_error(f.pf ? mdl::kUaF1 : mdl::kUaF0);
      break;
  }
}

void LAPD::on_dm(const Received& f) {
  if (log > 3)
    std::clog << ext::header(this) << "DM " << (f.command ? "command" : "response") << std::endl;
  const bool response_f1 = !f.command && f.pf;
  switch (state) {
    case 3:
      if (!f.command && !f.pf && establishable) {
        establish_dl();
        l3_initiated = true;
        set_state(4);
      }
      break;
    case 4:
      if (response_f1) {
        discard_queue();
        stop_timer(T200);
        set_state(3);
        link_down(make_status<Status>(this, "error (DM received)"));
      }
      break;
    case 5:
      if (response_f1) {
        stop_timer(T200);
        set_state(3);
        link_down(make_status<Status>(this, "error (DM received)"));
      }
      break;
    case 6:
    case 7:
      if (state == 6 && response_f1) {
        report_error(mdl::kDmF1);
        break;
      }
      establish_dl();
      l3_initiated = false;
      set_state(4);
      report_error(response_f1 ? mdl::kDmF1 : mdl::kDmF0);
      break;
  }
}

void LAPD::on_supervisory(unsigned type, SeqNo nr, bool pf, bool command) {
  if (log > 3) {
    static const char* const names[] = {"RR ", "RNR ", "REJ "};
    log_line(this, names[type], command ? "command" : "response", " pf=", pf);
  }
  if (state != 6 && state != 7) return;
  peer_busy = type == RNR;
  if (command && pf) tx_enquiry_response();
  const bool response_f1 = !command && pf;
  const bool valid = nr_valid(nr);
  if (state == 6) {
    bool kSupervisoryF1 = false;
    if (response_f1) {
      if (type == RR && log > 3)
        log_line(this, "receive RR (solicited response) in MFE_EST");
      kSupervisoryF1 = type != RR;
    }
    if (valid) {
      if (type == RR) {
        if (nr == vs) {
          va = nr;
          stop_timer(T200);
          start_timer(T203);
        } else if (nr != va) {
          va = nr;
          start_timer(T200);
        }
      } else if (type == REJ) {
        stop_timer(T200);
        start_timer(T203);
        retransmission(nr);
      } else {
        va = nr;
        stop_timer(T203);
        start_timer(T200);
      }
    } else {
      if (type == RR && log > 3)
        log_line(this, "receive RR with out of order N(R)");
      ++stats_.bad_confirmations;
      nr_recovery();
    }
    if (kSupervisoryF1) report_error(mdl::kSupervisoryF1);
    if (!valid) report_error(mdl::kNrError);
    return;
  }
  // Q.921 5.6.7: timer recovery.
  if (!valid) {
    ++stats_.bad_confirmations;
    nr_recovery();
    report_error(mdl::kNrError);
    return;
  }
  if (!response_f1) {
    va = nr;
    return;
  }
  if (type == RNR) {
    start_timer(T200);
  } else {
    stop_timer(T200);
    start_timer(T203);
  }
  retransmission(nr);
  set_state(6);
}

__attribute__((noinline, cold)) void LAPD::on_long_iframe() {
  // Q.921 5.8.5: an information field longer than N201 is a frame rejection condition; the frame
  // goes no further and the link is established again.
  reestablish_on(mdl::kN201Error);
}

void LAPD::on_frmr(const Received& f) {
  if (log > 3)
    std::clog << ext::header(this) << "FRMR " << (f.command ? "command" : "response")
              << " pf=" << f.pf << std::endl;
  reestablish_on(mdl::kFrmr);
}

void LAPD::reestablish_on(unsigned code) {
  if (state != 6 && state != 7) return;
  establish_dl();
  l3_initiated = false;
  set_state(4);
  report_error(code);
}

void LAPD::on_ICOM(SeqNo ns, SeqNo nr, bool p, Packet& info, const Entry& entry) {
  if (log > 3) log_line(this, "I-Command pf=", p);
  if (state != 6 && state != 7) return;
  const bool in_sequence = ns == vr;
  if (!in_sequence) {
    ++stats_.rejected;
    if (!reject_exception) {
      reject_exception = true;
      tx_cmd_resp(REJ, p, false);
      ack_rq = false;
    } else if (p) {
      tx_cmd_resp(RR, true, false);
      ack_rq = false;
    }
  } else {
    ++vr;
    reject_exception = false;
    ++stats_.rx_messages;
    if (p) {
      ack_rq = false;
      tx_cmd_resp(RR, true, false);
    } else {
      ack_rq = true;
    }
  }
  const bool valid = nr_valid(nr);
  if (valid) {
    if (!peer_busy && state == 6) {
      if (nr == vs) {
        stop_timer(T200);
        start_timer(T203);
      } else if (nr != va) {
        start_timer(T200);
      }
    }
    va = nr;
  } else {
    ++stats_.bad_confirmations;
    nr_recovery();
    report_error(mdl::kNrError);
  }
  if (!in_sequence) return;
  if (!flush(entry)) return;
  Protocol::on_message(info);
}

// The queues ----------------------------------------------------------------------------------

__attribute__((always_inline)) inline void LAPD::local_events() {
  // Without a retransmission or logging to do, acknowledged frames just go.
  if (retr_rq || log > 2)
    ack_queue_refreash();
  else
    drop_acknowledged();
  queued_up_send();
  ack_pending();
  if (flow_ != FlowStatus::ready && out_q_.count() < kReadyBelow)
    change_flowstatus(FlowStatus::ready);
}

inline unsigned LAPD::drop_acknowledged() {
  unsigned dropped = 0;
  Packet gone;
  while (unsigned(vs - va) % 128 < ack_q_.count()) {
    ack_q_.get(gone);
    ++dropped;
  }
  return dropped;
}

void LAPD::ack_queue_refreash() {
  const unsigned dropped = drop_acknowledged();
  if (log > 2 && dropped)
    log_line(this, "acknowledge ", dropped, " frames", " VS=", vs, " VA=", va);
  if (log > 2 && out_q_.empty()) log_line(this, "outgoing queue empty.");
  if (!retr_rq) return;
  if (log > 0 && !ack_q_.empty()) log_line(this, "retransmission ", " VS=", vs, " VA=", va);
  vs = va;
  requeue_unacknowledged();
  retr_rq = false;
}

void LAPD::requeue_unacknowledged() {
  unsigned waiting = resent_waiting();
  Packet back;
  while (ack_q_.get_last(&back)) {
    // The I queue holds messages: the address and control octets go, to be written afresh.
    if (!pull_header(back, kIHeader)) {
      no_packet_buffer();
      continue;
    }
    out_q_.append(std::move(back));
    ++waiting;
    ++stats_.retrains;
    queued_up = true;
  }
  resent_ = {waiting, out_given()};
}

unsigned LAPD::out_given() const {
  return stats_.tx_messages - stats_.empty_messages - stats_.out_overflows - out_q_.count();
}

unsigned LAPD::resent_waiting() const {
  // The I queue gives up messages from its head only, so those it gave up since the last move
  // were the moved ones first.
  const unsigned gone = out_given() - resent_.given;
  return resent_.count > gone ? resent_.count - gone : 0;
}

void LAPD::queued_up_send() {
  // The mark stays while the peer or the window holds the messages back.
  while (queued_up) {
    switch (state) {
      case 6: {
        if (peer_busy || vs == va + SeqNo(k)) return;
        queued_up = false;
        Packet next;
        if (!out_q_.get(next)) return;
        if (!tx_iframe(next, false)) {
          out_q_.append(std::move(next));  // back at the head, to go out first
          queued_up = true;
          return;
        }
        if (!ack_q_.put(std::move(next))) {
          log_line(this, "ack queue overflow!");
          ++stats_.ack_overflows;
        }
        ++vs;
        ack_rq = false;
        if (!t200_running) {
          stop_timer(T203);
          start_timer(T200);
        }
        if (!out_q_.empty()) queued_up = true;
        break;
      }
      case 4:
        if (l3_initiated) queued_up = false;
        return;
      case 7:
        return;
      default:
        queued_up = false;
        return;
    }
  }
}

void LAPD::ack_pending() {
  if (ack_rq && (state == 6 || state == 7) && tx_cmd_resp(RR, false, false)) ack_rq = false;
}

void LAPD::change_flowstatus(FlowStatus::Type value) {
  if (flow_ == value) return;
  flow_ = value;
  if (notify) notify->OnLAPD_FlowStatusChange(this);
}

const char* LAPD::refusal(unsigned length) const {
  if (length > n201) return kLongerThanN201;
  return out_q_.count() > kOutLimit ? "LAPD queue full" : nullptr;
}

void LAPD::message(Packet& p) {
  Entry entry(this);
  ++stats_.tx_messages;
  // One test for an empty message and one longer than N201.
  const unsigned length = p.length();
  const bool outside = length - 1 >= n201;
  if (__builtin_expect(outside, 0) && length == 0) {
    ++stats_.empty_messages;
    return;
  }
  if (__builtin_expect(outside || out_q_.count() > kOutLimit, 0)) {
    discard_message(length);
  } else {
    if (log > 2) {
      log_line(this, "outgoing queue size = ", out_q_.size(), " tx counter = ", stats_.tx_messages);
      log_line(this, "add to tx queue: ", p.text());
    }
    out_q_.put(std::move(p));  // the message is the link's from here on
    queued_up = true;
  }
  if (state == 0 && !(bri_ && side == Side::user))
    set_state(1);
  else if (state <= 2)
    start_tei_procedure_if_idle();
  if (out_q_.count() > kBusyAbove) {
    change_flowstatus(FlowStatus::busy);
    if (!entry.alive()) return;
  }
  finish_inline(entry);
}

__attribute__((noinline, cold)) void LAPD::discard_message(unsigned length) {
  // Q.921 5.9.3: no I frame carries more than N201 octets; a peer would take one for an error.
  logs_.write(std::clog, this,
              length > n201 ? "discard outgoing message: longer than N201 (260 octets)"
                            : "discard outgoing message: buffer overflow");
  ++stats_.out_overflows;
}

void LAPD::discard_queue() {
  if (log > 0)
    std::clog << ext::header(this) << "discard queue "
              << " OutData=" << out_q_.size() << " AckData=" << ack_q_.size() << std::endl;
  out_q_.clear();
  ack_q_.clear();
  resent_ = Resent();
}

void LAPD::reset_sequence() {
  // Q.921 5.5.3: the link starts afresh. The peer's layer 3 may have taken the messages it did
  // not acknowledge, and learns of the restart from its own link: sent again, they would reach it
  // twice. They go, with a line; those never sent go once the link is up.
  drop_acknowledged();
  Packet gone;
  unsigned discarded = ack_q_.count();
  ack_q_.clear();
  for (unsigned n = resent_waiting(); n && out_q_.get(gone); --n) ++discarded;
  resent_ = Resent();
  vs = va = vr = 0;
  if (discarded) restart_line_.report(discarded);
}

// Sending --------------------------------------------------------------------------------------

bool LAPD::new_frame(Packet& frame) {
  try {
    prepare_head(frame);
    return true;
  } catch (const std::bad_alloc&) {
    no_packet_buffer();
    return false;
  }
}

bool LAPD::xmit(Packet& frame) {
  if (hdlc && log <= 2) return to_channel(frame);
  return xmit_traced(frame);
}

__attribute__((noinline)) bool LAPD::xmit_traced(Packet& frame) {
  if (!hdlc) {
    if (log > 3) log_line(this, "no HDLC device attached!!!");
    return false;
  }
  // The channel may take the handle over: a second one keeps the frame for the trace.
  const Packet sent = frame;
  if (!to_channel(frame)) return false;
  trace("tx: ", sent, false);
  return true;
}

bool LAPD::to_channel(Packet& frame) {
  if (hdlc->hdlc_transmit(frame)) return true;
  logs_.write(std::clog, this, "tx full");
  return false;
}

void LAPD::no_packet_buffer() { logs_.write(std::clog, this, "tx full (no packet buffer)"); }

void LAPD::trace(const char* prefix, const Packet& frame, bool received) {
  // The frame's direction: received frames come from the other side.
  const bool network_to_user = (side == Side::user) == received;
  dlogframe(frame->data, frame.length(), network_to_user, logbuf);
  std::clog << ext::header(this) << prefix << logbuf;
  const size_t n = std::strlen(logbuf);
  if (n == 0 || logbuf[n - 1] != '\n') std::clog << '\n';
  std::clog.flush();
}

bool LAPD::tx_iframe(Packet& message, bool p) {
  // The header goes in front of the message itself, which the acknowledge queue then keeps as it
  // was sent: no copy unless something else still holds the buffer.
  try {
    unsigned char* header = message.push(kIHeader);
    header[0] = static_cast<unsigned char>(self_sapi << 2 | command_cr(side, true) << 1);
    header[1] = static_cast<unsigned char>(self_tei << 1 | 1);
    header[2] = static_cast<unsigned char>(unsigned(vs) << 1);
    header[3] = static_cast<unsigned char>(unsigned(vr) << 1 | p);
  } catch (const std::bad_alloc&) {
    no_packet_buffer();
    return false;
  }
  if (xmit(message)) return true;
  message.pull(kIHeader);  // the channel did not take it, so nothing else holds the buffer
  return false;
}

bool LAPD::tx_cmd_resp(FrameType type, bool pf, bool command) {
  Packet frame;
  if (!new_frame(frame)) return false;
  const bool supervisory = type <= REJ;
  unsigned char* octets = frame.put(supervisory ? 4 : 3);
  octets[0] = static_cast<unsigned char>(self_sapi << 2 | command_cr(side, command) << 1);
  octets[1] = static_cast<unsigned char>(self_tei << 1 | 1);
  if (supervisory) {
    octets[2] = static_cast<unsigned char>(type << 2 | 1);
    octets[3] = static_cast<unsigned char>(unsigned(vr) << 1 | pf);
  } else {
    octets[2] = static_cast<unsigned char>(type | (pf ? 0x10 : 0));
  }
  return xmit(frame);
}

// Common procedures (Q.921 5.8) -----------------------------------------------------------------

void LAPD::establish_dl() {
  clear_exception();
  rc = 0;
  tx_cmd_resp(SABME, true, true);
  stop_timer(T203);
  start_timer(T200);
}

void LAPD::clear_exception() { peer_busy = own_busy = reject_exception = ack_rq = false; }

void LAPD::retransmission(SeqNo nr) {
  va = nr;
  retr_rq = true;
  queued_up = true;
}

void LAPD::tx_enquiry() {
  if (log > 3) std::clog << ext::header(this) << "tx_enquiry, ownBusy=" << own_busy << std::endl;
  tx_cmd_resp(RR, true, true);
  ack_rq = false;
  start_timer(T200);
}

void LAPD::tx_enquiry_response() {
  if (log > 3) std::clog << ext::header(this) << "tx_enquiry_response" << std::endl;
  tx_cmd_resp(RR, true, false);
  ack_rq = false;
}

void LAPD::nr_recovery() {
  establish_dl();
  l3_initiated = false;
  set_state(4);
}

bool LAPD::nr_valid(SeqNo nr) const { return (va <= nr) <= vs; }

// Primitives from layer 3 ------------------------------------------------------------------------

void LAPD::local_activate() {
  Entry entry(this);
  if (log != 0) std::clog << ext::header(this) << "DL-ESTABLISH" << std::endl;
  switch (state) {
    case 0:
    case 1:
    case 2:
      if (state == 0) rc = 0;
      start_tei_procedure_if_idle();
      set_state(2);
      break;
    case 3:
      establish_dl();
      l3_initiated = true;
      set_state(4);
      break;
    case 4:
      discard_queue();
      l3_initiated = true;
      break;
    case 6:
    case 7:
      discard_queue();
      establish_dl();
      l3_initiated = true;
      set_state(4);
      break;
  }
  finish(entry);
}

void LAPD::local_deactivate() {
  Entry entry(this);
  if (log > 1) std::clog << ext::header(this) << "DL-RELEASE" << std::endl;
  switch (state) {
    case 3:
      link_down(make_status<Protocol_status_success>(this, "success (deactivated locally)"));
      break;
    case 4:
    case 6:
    case 7:
      discard_queue();
      rc = 0;
      tx_cmd_resp(DISC, true, true);
      if (state != 7) stop_timer(T203);
      if (state == 4) stop_timer(T202);
      start_timer(T200);
      if (state == 4) {
        set_state(3);
        link_down(make_status<Protocol_status_success>(this, "success (deactivated locally)"));
      } else {
        set_state(5);
      }
      break;
  }
  finish(entry);
}

// State and timers ---------------------------------------------------------------------------

void LAPD::set_state(uint32_t next) {
  if (next == state) return;
  const bool recovery_swap = (state == 6 && next == 7) || (state == 7 && next == 6);
  if (log >= 2 && !(recovery_swap && log <= 3))
    std::clog << "LAPD[" << trunk << "] : "
              << "change state " << '"' << statetext(state) << "\" -> \"" << statetext(next) << '"'
              << std::endl;
  state = next;
  // Messages queued while the link was coming up go out now.
  if (state == 6) queued_up = true;
}

bool& LAPD::running(TimerId id) {
  return id == T200 ? t200_running : id == T202 ? t202_running : t203_running;
}

bool LAPD::other_running(TimerId id) const {
  return (id != T200 && t200_running) || (id != T202 && t202_running) ||
         (id != T203 && t203_running);
}

void LAPD::start_timer(TimerId id) {
  // One slot: starting a timer replaces whichever one was pending.
  if (other_running(id)) report_timer_misuse("start", id, true);
  running(id) = true;
  static void (LAPD::*const expiry[])() = {&LAPD::on_T200, &LAPD::on_T202, &LAPD::on_T203};
  static const unsigned delay[] = {t200_ms, t202_ms, t203_ms};
  timer_.set(delay[id], expiry[id], this);
}

void LAPD::stop_timer(TimerId id) {
  bool& mark = running(id);
  if (!mark) return;
  if (other_running(id)) report_timer_misuse("stop", id, false);
  // The slot stays armed: an expiry that finds its timer stopped does nothing, and the next
  // start moves the slot only when it falls due earlier (SlotTimer).
  mark = false;
}

__attribute__((noinline)) void LAPD::report_timer_misuse(const char* action, TimerId id,
                                                         bool take_over) {
  for (TimerId other : {T200, T202, T203}) {
    if (other == id || !running(other)) continue;
    report(make_status<Status>(this, std::string("trying to ") + action + " " + kTimerNames[id] +
                                         " while " + kTimerNames[other] + " running"));
    if (take_over) running(other) = false;
  }
}

void LAPD::stop_all_timers() {
  t200_running = t202_running = t203_running = false;
  timer_.reset();
}

void LAPD::on_T200() { expire(T200); }

void LAPD::on_T202() { expire(T202); }

void LAPD::on_T203() { expire(T203); }

void LAPD::expire(TimerId id) {
  if (!running(id)) return;  // stopped since it was armed
  Entry entry(this);
  running(id) = false;
  ++(id == T200 ? stats_.t200 : id == T202 ? stats_.t202 : stats_.t203);
  if (id == T200) on_T200A();
  if (id == T202) on_T202A();
  if (id == T203) on_T203A();
  finish(entry);
}

void LAPD::on_T200A() {
  switch (state) {
    case 4:
    case 5: {
      // Q.921 5.5.1.3 and 5.5.3.2: SABME or DISC again, N200 times at most.
      const bool establishing = state == 4;
      if (rc == n200) {
        if (establishing) discard_queue();
        set_state(3);
        report_error(establishing ? mdl::kN200Sabme : mdl::kN200Disc);
        link_down(make_status<Status>(this, "link error (T200 expired N200 times)"));
      } else {
        ++rc;
        tx_cmd_resp(establishing ? SABME : DISC, true, true);
        start_timer(T200);
      }
      break;
    }
    case 6:
      rc = 0;
      tx_enquiry();
      rc = 1;
      if (log > 1) std::clog << ext::header(this) << "ack expired" << std::endl;
      set_state(7);
      break;
    case 7:
      if (rc == n200) {
        if (log > 1) std::clog << ext::header(this) << "ack error !!!" << std::endl;
        establish_dl();
        l3_initiated = false;
        set_state(4);
        report_error(mdl::kN200Enquiry);
      } else {
        if (log > 1) std::clog << ext::header(this) << "ack timeout expired RC=" << rc << std::endl;
        tx_enquiry();
        ++rc;
      }
      break;
  }
}

void LAPD::on_T203A() {
  std::clog << ext::header(this) << "T203." << std::endl;
  if (state != 6) return;
  tx_enquiry();
  rc = 0;
  set_state(7);
}

// Reports --------------------------------------------------------------------------------------

void LAPD::report(Protocol_status status) {
  logs_.write(std::clog, this, status->message());
  if (pending_.count == Pending::kMaxStatuses) return;
  pending_.statuses[pending_.count++] = status;
}

void LAPD::link_up(bool requested) {
  if (reported_up_ && !requested) return;
  reported_up_ = true;
  pending_.link = Pending::kUp;
}

void LAPD::link_down(Protocol_status status) {
  reported_up_ = false;
  pending_.link = Pending::kDown;
  pending_.down_status = status;
}

bool LAPD::make_reports(const Entry& entry) {
  while (pending_.count || pending_.link != Pending::kNone) {
    Pending now;
    std::swap(now, pending_);
    for (unsigned i = 0; i < now.count; ++i) {
      Protocol::on_status(now.statuses[i]);
      if (!entry.alive()) return false;
    }
    if (now.link == Pending::kUp) Protocol::on_activate();
    if (now.link == Pending::kDown) Protocol::on_deactivate(now.down_status);
    if (!entry.alive()) return false;
  }
  return true;
}

__attribute__((noinline)) void LAPD::finish(const Entry& entry) { finish_inline(entry); }

}  // namespace ISDN
