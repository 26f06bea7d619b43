#include "l2/isdn/lapd_nt.h"

#include <algorithm>
#include <iostream>
#include <new>

#include "base/ext_header.h"
#include "base/mux_clock.h"
#include "l2/isdn/frame_address.h"
#include "l2/isdn/lapd_internal.h"

namespace ISDN {

namespace {

constexpr unsigned char kSABME = 0x6F, kUA = 0x63, kDM = 0x0F, kDISC = 0x43, kFRMR = 0x87,
                        kXID = 0xAF, kUI = 0x03;
constexpr unsigned char kRR = 0x01, kRNR = 0x05, kREJ = 0x09;
constexpr unsigned char kIdentityRequest = 1, kIdentityAssigned = 2, kIdentityDenied = 3,
                        kCheckRequest = 4, kCheckResponse = 5, kIdentityRemove = 6,
                        kIdentityVerify = 7;

// Why a layer-3 message from above goes nowhere.
constexpr const char* kShort = "shorter than a layer-3 header";
constexpr const char* kLongReference = "call reference longer than 2 octets";
constexpr const char* kNoLink = "no terminal's data link established";
constexpr const char* kNoHolder = "no terminal holds its call reference";
constexpr const char* kHolderLinkDown =
    "data link of the terminal holding the call not established";
constexpr const char* kQueueFull = "terminal's queue full";
constexpr const char* kShareUsed = "bus's share of packet buffers used";
constexpr const char* kBusesShareUsed = "basic-rate buses' share of packet buffers used";

// "terminal call 5", "network call 5".
std::ostream& put_call(std::ostream& os, CallOrigin origin, unsigned value) {
  return os << (origin == CallOrigin::kTerminal ? "terminal call " : "network call ") << value;
}

}  // namespace

// The network side's entries.

LAPD_NT_user::LAPD_NT_user()
    : discarded_line_(restart_line(this)),
      lost_line_(std::clog, [this](std::ostream& os, const Lost& lost) {
        os << ext::header(this) << "link ended, unacknowledged messages lost: "
           << lost.queued + lost.sent << " (" << lost.queued << " queued, " << lost.sent
           << " sent)";
      }) {}

void LAPD_NT_user::flush_lines() {
  discarded_line_.flush();
  lost_line_.flush();
}

void LAPD_NT_user::PutHeader(std::ostream& os) const {
  os << "LAPD_user(NT BRI)[";
  if (state_ == unassigned) {
    os << "unassigned]:";
    return;
  }
  os << "Tei=" << unsigned(tei_) << (state_ == assigned ? ",assigned" : ",wait_answer");
  if (checking_) os << ",check";
  if (busy_) os << ",busy";
  os << "]";
}

void LAPD_NT_user::log(const char* text) const {
  if (log_ > 1) std::clog << ext::header(this) << text << std::endl;
}

void LAPD_NT_user::assign() {
  log("assigned");
  vr_ = va_ = vs_ = 0;
  state_ = assigned;
  busy_ = checking_ = false;
  answers_ = 0;
  check_timer_.reset();
  i_q_.clear();
  ack_q_.clear();
  rc_ = 0;
  link_timer_.set(t203_ms, &LAPD_NT_user::on_timer, this);
  send_U(kSABME, true, true);
}

void LAPD_NT_user::unassign() {
  log("unassigned");
  if (!i_q_.empty() || !ack_q_.empty()) lost_line_.report({i_q_.count(), ack_q_.count()});
  state_ = unassigned;
  checking_ = busy_ = false;
  answers_ = 0;
  link_timer_.reset();
  check_timer_.reset();
  i_q_.clear();
  ack_q_.clear();
}

void LAPD_NT_user::checking() {
  if (state_ == unassigned) return;
  log("checking started");
  answers_ = 0;
  checking_ = true;
  check_timer_.set(check_ms, &LAPD_NT_user::on_check_timer, this);
}

void LAPD_NT_user::check_answered(uint16_t ri) {
  if (state_ == unassigned) {
    assign();
  } else if (checking_) {
    log("checked");
    checking_ = false;
  }
  // The answers count to the check's end: 2 s after its last request, or after this answer for
  // an entry that was not in the check.
  if (!check_timer_.get()) check_timer_.set(check_ms, &LAPD_NT_user::on_check_timer, this);
  ++answers_;
  ri_ = ri;
}

void LAPD_NT_user::on_check_timer() {
  if (answers_ != 0) {
    answers_ = 0;
    return;
  }
  // Q.921 5.3.5: no terminal answered for the TEI: it is free, and its calls end with it.
  lapd_->forget_calls(tei_);
  unassign();
}

void LAPD_NT_user::message(Packet& p) {
  // The router refuses what the queue cannot take (queue_full), so that nothing answered
  // success is dropped here.
  if (busy_ || ack_q_.count() == k) {
    if (!queue_full()) i_q_.put(p);
    return;
  }
  if (i_q_.empty() && send_I(p)) return;
  // Messages wait for a packet buffer: this one goes after them, and they go now if one is free.
  if (!queue_full()) i_q_.put(p);
  serve();
}

bool LAPD_NT_user::send_I(const Packet& message) {
  Packet frame;
  const unsigned char head[] = {0x02, static_cast<unsigned char>(tei_ << 1 | 1),
                                static_cast<unsigned char>(unsigned(vs_) << 1),
                                static_cast<unsigned char>(unsigned(vr_) << 1 | 1)};
  try {
    frame.reserve_head(0);
    for (unsigned char c : head) frame.put8(c);
    frame.put(message);
  } catch (const std::bad_alloc&) {
    lapd_->logs().write(std::cerr, this, "no packet buffer, I frame not sent yet");
    return false;
  }
  ack_q_.put(frame);
  ++vs_;
  Packet copy = frame;
  lapd_->send_to_layer1(copy);
  if (state_ != wait_answer) rc_ = 0;
  state_ = wait_answer;
  link_timer_.set(t200_ms, &LAPD_NT_user::on_timer, this);
  return true;
}

bool LAPD_NT_user::send_S(unsigned char type, bool command, bool pf) {
  return lapd_->send_octets({static_cast<unsigned char>(command ? 0x02 : 0x00),
                             static_cast<unsigned char>(tei_ << 1 | 1), type,
                             static_cast<unsigned char>(unsigned(vr_) << 1 | (pf ? 1 : 0))});
}

void LAPD_NT_user::send_U(unsigned char type, bool command, bool pf) {
  lapd_->send_octets({static_cast<unsigned char>(command ? 0x02 : 0x00),
                      static_cast<unsigned char>(tei_ << 1 | 1),
                      static_cast<unsigned char>(type | (pf ? 0x10 : 0))});
}

void LAPD_NT_user::receive(Packet& p, bool response) {
  if (p.length() < 1) return;
  const unsigned char control = p.pull8();
  if ((control & 1) == 0) {
    if (response || p.length() < 1) return;
    const unsigned char second = p.pull8();
    on_I(control >> 1, second >> 1, second & 1, p);
    return;
  }
  if ((control & 3) == 1) {
    if (p.length() < 1) return;
    const unsigned char second = p.pull8();
    const bool command = !response;
    if (control == kRR)
      on_RR(second >> 1, second & 1, command);
    else if (control == kRNR)
      on_RNR(second >> 1, second & 1, command);
    else if (control == kREJ)
      on_REJ(second >> 1, second & 1, command);
    return;
  }
  const bool pf = control & 0x10;
  switch (control & ~0x10) {
    case kSABME:
      if (!response) on_SABME(pf);
      break;
    case kDM:
      if (response) {
        log("received DM frame");
        unassign();
      }
      break;
    case kDISC:
      if (!response) on_DISC(pf);
      break;
    case kFRMR:
      if (response) {
        log("received FRMR frame");
        unassign();
      }
      break;
    case kXID:
      log("received XID frame");
      break;
    default:
      break;
  }
}

void LAPD_NT_user::on_I(unsigned ns, unsigned nr, bool p, Packet& info) {
  log("received I frame");
  if (info.length() > LAPD::n201) {
    // Q.921 5.8.5: a frame rejection condition; the frame goes no further and the link starts
    // afresh.
    lapd_->logs().write(std::clog, this, "I frame longer than N201: link established again");
    start_afresh();
    send_U(kSABME, true, true);
    set_unbusy();
    return;
  }
  const bool in_sequence = ns == unsigned(vr_);
  if (in_sequence) ++vr_;
  if (!ack_queue(nr)) return;
  // Every I frame is answered, so the terminal's T200 does not run out on each message.
  send_S(in_sequence ? kRR : kREJ, false, p);
  serve();
  if (!in_sequence || info.length() < 4) return;
  lapd_->note_call(tei_, info);
  lapd_->send_to_layer3(info);
}

void LAPD_NT_user::on_RR(unsigned nr, bool pf, bool command) {
  log("received RR frame");
  if (command && pf) send_S(kRR, false, true);
  if (!ack_queue(nr)) return;
  recover(command, pf);
  set_unbusy();
}

void LAPD_NT_user::on_RNR(unsigned nr, bool pf, bool command) {
  log("received RNR frame");
  set_busy();
  if (command && pf) send_S(kRR, false, true);
  if (!ack_queue(nr)) return;
  recover(command, pf);
  serve();
}

void LAPD_NT_user::on_REJ(unsigned nr, bool pf, bool command) {
  log("received REJ frame");
  if (command && pf) send_S(kRR, false, true);
  if (!ack_queue(nr)) return;
  retransmit();
  rc_ = 0;
  set_unbusy();
}

void LAPD_NT_user::start_afresh() {
  if (!ack_q_.empty()) {
    discarded_line_.report(ack_q_.count());
    ack_q_.clear();
  }
  vr_ = va_ = vs_ = 0;
}

void LAPD_NT_user::on_SABME(bool p) {
  log("received SABME frame");
  start_afresh();
  if (p) send_U(kUA, false, true);
  set_unbusy();
}

void LAPD_NT_user::on_DISC(bool p) {
  log("received DISC frame");
  if (p) send_U(kUA, false, true);
  unassign();
}

bool LAPD_NT_user::ack_queue(unsigned nr) {
  log("ack queue");
  const Seq n = nr;
  if (!(va_ <= n <= vs_)) {
    unassign();
    return false;
  }
  Packet dropped;
  for (; unsigned(va_) != nr; ++va_) ack_q_.get(dropped);
  return true;
}

void LAPD_NT_user::recover(bool command, bool pf) {
  // Every I frame carries P = 1, so only an answer after T200 ran out ends a recovery.
  if (command || !pf || rc_ == 0) return;
  rc_ = 0;
  retransmit();
}

bool LAPD_NT_user::retransmit() {
  if (ack_q_.empty()) return false;
  log("retransmit queue");
  bool sent = false;
  for (unsigned n = ack_q_.count(); n > 0; --n) {
    Packet frame;
    ack_q_.get(frame);
    try {
      // The current N(R), P = 1.
      frame->data[3] = static_cast<unsigned char>(unsigned(vr_) << 1 | 1);
      Packet copy = frame;
      lapd_->send_to_layer1(copy);
      sent = true;
    } catch (const std::bad_alloc&) {
      lapd_->logs().write(std::cerr, this, "no packet buffer, I frame not resent");
    }
    ack_q_.put(frame);
  }
  return sent;
}

void LAPD_NT_user::set_busy() {
  if (!busy_) log("set busy");
  busy_ = true;
}

void LAPD_NT_user::set_unbusy() {
  if (busy_) log("set unbusy");
  busy_ = false;
  serve();
}

void LAPD_NT_user::serve() {
  if (state_ == unassigned) return;
  Packet next;
  while (!busy_ && ack_q_.count() < k && i_q_.get(next)) {
    if (!send_I(next)) {
      i_q_.append(std::move(next));  // back at the head, to go out first
      break;
    }
  }
  // A message that waits for a buffer is tried again on the terminal's next frame: the poll on
  // T200 asks for one.
  if (ack_q_.empty() && (i_q_.empty() || busy_)) {
    state_ = assigned;
    link_timer_.set(t203_ms, &LAPD_NT_user::on_timer, this);
  } else if (state_ != wait_answer) {
    state_ = wait_answer;
    rc_ = 0;
    link_timer_.set(t200_ms, &LAPD_NT_user::on_timer, this);
  }
}

void LAPD_NT_user::on_timer() {
  if (state_ == assigned) {
    state_ = wait_answer;
    rc_ = 0;
    link_timer_.set(t200_ms, &LAPD_NT_user::on_timer, this);
    send_S(kRR, true, true);
    return;
  }
  if (rc_ == n200) {
    log("T200 expiried N200 times");
    unassign();
    return;
  }
  link_timer_.set(t200_ms, &LAPD_NT_user::on_timer, this);
  // An unanswered poll is repeated; outstanding frames go again. What found no packet buffer was
  // not sent and left the terminal nothing to answer: it does not count against N200.
  if (ack_q_.empty() ? send_S(kRR, true, true) : retransmit()) ++rc_;
}

// The network side.

namespace {

// Every network side alive, through their bus_link_.
Containers::CyclicList& buses() {
  static Containers::CyclicList head;
  return head;
}

}  // namespace

LAPD_NT::LAPD_NT() {
  for (LAPD_NT_user& u : users_) u.set_lapd(this);
  buses().push_back(&bus_link_);
}

LAPD_NT::~LAPD_NT() {
  logs_.flush(this);
  for (LAPD_NT_user& u : users_) u.flush_lines();
}

void LAPD_NT::PutHeader(std::ostream& os) const { os << "LAPD(NT BRI):"; }

void LAPD_NT::set_log(unsigned level) {
  log_ = level;
  for (LAPD_NT_user& u : users_) u.set_log(level);
}

void LAPD_NT::local_prepare_head(Packet& p) { p.reserve_head(4); }
void LAPD_NT::local_prepare_tail(Packet& p) { p.reserve_tail(0); }

void LAPD_NT::local_activate() {
  if (log_) std::clog << ext::header(this) << "activate" << std::endl;
  check_all_Tei();
  on_activate();
}

void LAPD_NT::local_deactivate() {
  if (log_) std::clog << ext::header(this) << "deactivate" << std::endl;
  check_timer_.reset();
  check_requests_ = 0;
  for (LAPD_NT_user& u : users_) u.unassign();
}

bool LAPD_NT::send_octets(std::initializer_list<unsigned char> head, const Packet* tail) {
  try {
    Packet p;
    p.reserve_head(0);
    for (unsigned char c : head) p.put8(c);
    if (tail) p.put(*tail);
    send_to_layer1(p);
    return true;
  } catch (const std::bad_alloc&) {
    logs_.write(std::cerr, this, "no packet buffer, frame not sent");
    return false;
  }
}

void LAPD_NT::send_tei(unsigned char type, uint16_t ri, unsigned char ai) {
  send_octets({0xFE, 0xFF, kUI, 0x0F, static_cast<unsigned char>(ri & 0xFF),
               static_cast<unsigned char>(ri >> 8), type, static_cast<unsigned char>(ai << 1 | 1)});
}

void LAPD_NT::remove_tei(unsigned char tei) {
  forget_calls(tei);
  // One record a TEI: the frames still coming on a TEI removed again and again do not push the
  // other TEIs' records out.
  Removal* r = std::find_if(removals_, removals_ + kRemovals,
                            [tei](const Removal& removal) { return removal.tei == tei; });
  if (r == removals_ + kRemovals) {
    r = removals_ + next_removal_;
    next_removal_ = (next_removal_ + 1) % kRemovals;
  }
  *r = {tei, Mux::milliseconds()};
  send_tei(kIdentityRemove, 0, tei);
  send_tei(kIdentityRemove, 0, tei);
}

const LAPD_NT_user* LAPD_NT::find_Tei(unsigned char tei) const {
  for (const LAPD_NT_user& u : users_)
    if (u.tei() == tei && u.state() != LAPD_NT_user::unassigned) return &u;
  return nullptr;
}

LAPD_NT_user* LAPD_NT::find_Tei(unsigned char tei) {
  return const_cast<LAPD_NT_user*>(static_cast<const LAPD_NT&>(*this).find_Tei(tei));
}

bool LAPD_NT::just_removed(unsigned char tei) const {
  const uint32_t now = Mux::milliseconds();
  return std::any_of(removals_, removals_ + kRemovals, [&](const Removal& r) {
    return r.tei == tei && now - r.at_ms < kRemovalMs;
  });
}

LAPD_NT_user* LAPD_NT::find_free_Tei(unsigned char ai) {
  // A TEI just removed is not given out again while its former holders' frames may still come.
  if (ai != kGroupTei && just_removed(ai)) return nullptr;
  LAPD_NT_user* free = nullptr;
  for (LAPD_NT_user& u : users_) {
    if (u.state() == LAPD_NT_user::unassigned) {
      free = &u;
      break;
    }
  }
  if (!free) return nullptr;
  if (ai != kGroupTei) {
    free->set_tei(ai);
    return free;
  }
  for (unsigned tei = 64; tei < kGroupTei; ++tei) {
    if (!find_Tei(static_cast<unsigned char>(tei)) &&
        !just_removed(static_cast<unsigned char>(tei))) {
      free->set_tei(static_cast<unsigned char>(tei));
      return free;
    }
  }
  return nullptr;
}

void LAPD_NT::check_all_Tei() {
  if (log_) std::clog << ext::header(this) << "Checking Tei values...." << std::endl;
  check_timer_.reset();
  for (LAPD_NT_user& u : users_) u.checking();
  check_requests_ = check_requests() + 1;
  check_sent_ms_ = Mux::milliseconds();
  send_tei(kCheckRequest, 0, kGroupTei);
  check_timer_.set(check_period_ms, &LAPD_NT::check_all_Tei, this);
}

void LAPD_NT::note_call(unsigned char tei, const Packet& info) {
  Layer3Head head;
  if (read_layer3_head(info, head) != Layer3Read::kOk || !names_a_call(head)) return;
  const CallOrigin origin = origin_of(head, true);
  if (head.type == kQ931ReleaseComplete) {
    calls_.end(origin, head.value, tei);
    return;
  }
  const bool set_up = calls_.holds(origin, head.value, tei) ||
                      (origin == CallOrigin::kTerminal ? head.type == kQ931Setup
                                                       : calls_.network_set_up(head.value));
  CallReferences::Call forgotten;
  if (set_up && !calls_.use(origin, head.value, tei, forgotten)) log_forgotten(forgotten);
}

void LAPD_NT::log_forgotten(const CallReferences::Call& call) {
  if (forgotten_count_ < kNamedCalls) forgotten_[forgotten_count_] = call;
  ++forgotten_count_;
  uint32_t left_out = 0;
  if (!logs_.allow(std::clog, "calls forgotten", left_out)) return;
  std::clog << ext::header(this) << "more than " << CallReferences::kLimit << " calls: ";
  for (unsigned i = 0; i < std::min(forgotten_count_, kNamedCalls); ++i)
    put_call(std::clog << (i ? ", " : ""), forgotten_[i].origin, forgotten_[i].value)
        << " of TEI " << unsigned(forgotten_[i].tei);
  if (forgotten_count_ > kNamedCalls)
    std::clog << " and " << forgotten_count_ - kNamedCalls << " more";
  std::clog << " forgotten" << LogThrottle::left_out_text(left_out) << std::endl;
  forgotten_count_ = 0;
}

LAPD_NT::Route LAPD_NT::route(const unsigned char* message, unsigned length) const {
  Route r;
  if (length > LAPD::n201) {
    r.refusal = kLongerThanN201;
    return r;
  }
  // The protocol discriminator, a call reference and the message type at least.
  const Layer3Read read =
      length <= 3 ? Layer3Read::kTooShort : read_layer3_head(message, length, r.head);
  if (read != Layer3Read::kOk) {
    r.refusal = read == Layer3Read::kTooShort ? kShort : kLongReference;
    return r;
  }
  r.origin = origin_of(r.head, false);
  if (r.head.type == kQ931Setup) {
    r.broadcast = true;
    return r;
  }
  const bool assigned = std::any_of(users_, users_ + kUsers, [](const LAPD_NT_user& u) {
    return u.state() != LAPD_NT_user::unassigned;
  });
  if (!assigned) {
    r.refusal = kNoLink;
    return r;
  }
  const CallReferences::Call* holder =
      names_a_call(r.head) ? calls_.holder(r.origin, r.head.value, r.holders) : nullptr;
  if (!holder) {
    r.refusal = kNoHolder;
    return r;
  }
  r.tei = holder->tei;
  const LAPD_NT_user* u = find_Tei(r.tei);
  if (!u) {
    // The terminal keeps its TEI and its calls when its link ends, and takes them again when it
    // comes back.
    r.refusal = kHolderLinkDown;
    return r;
  }
  r.user = static_cast<unsigned>(u - users_);
  if (u->queue_full()) {
    r.refusal = kQueueFull;
    return r;
  }
  const bool waits = u->holds_back();
  if (waits && held() >= kBusShare) {
    r.refusal = kShareUsed;
    return r;
  }
  if (held_by_buses() >= (waits ? kBusesShare - kWindowsRoom : kBusesShare))
    r.refusal = kBusesShareUsed;
  return r;
}

unsigned LAPD_NT::held() const {
  unsigned n = 0;
  for (const LAPD_NT_user& u : users_) n += u.queued() + u.unacknowledged();
  return n;
}

unsigned LAPD_NT::held_by_buses() {
  unsigned n = 0;
  for (const Containers::CyclicList& node : buses())
    n += static_cast<const BusLink&>(node).bus->held();
  return n;
}

const char* LAPD_NT::refusal(const unsigned char* message, unsigned length) const {
  return route(message, length).refusal;
}

void LAPD_NT::message(Packet& p) {
  const Packet& message = p;
  const Route r = route(message.length() ? message->data : nullptr, message.length());
  if (r.refusal) {
    log_dropped_message(r);
    return;
  }
  if (r.broadcast) {
    if (r.origin == CallOrigin::kNetwork && names_a_call(r.head))
      calls_.network_setup(r.head.value);
    send_octets({0x02, 0xFF, kUI}, &p);
    return;
  }
  if (r.holders > 1) log_ambiguity(r);
  if (r.head.type == kQ931ReleaseComplete) calls_.end(r.origin, r.head.value, r.tei);
  users_[r.user].message(p);
}

void LAPD_NT::log_dropped_message(const Route& r) {
  uint32_t left_out = 0;
  if (!logs_.allow(std::clog, r.refusal, left_out)) return;
  std::clog << ext::header(this) << "message dropped: ";
  if (r.refusal == kNoHolder && names_a_call(r.head))
    put_call(std::clog << "no terminal holds ", r.origin, r.head.value);
  else
    std::clog << r.refusal;
  std::clog << LogThrottle::left_out_text(left_out) << std::endl;
}

void LAPD_NT::log_ambiguity(const Route& r) {
  uint32_t left_out = 0;
  if (!calls_.note_ambiguity(r.origin, r.head.value) ||
      !logs_.allow(std::clog, "call held by several terminals", left_out))
    return;
  put_call(std::clog << ext::header(this), r.origin, r.head.value)
      << " held by " << r.holders << " terminals: sent to TEI " << unsigned(r.tei)
      << ", the last to use it" << LogThrottle::left_out_text(left_out) << std::endl;
}

void LAPD_NT::receive(Packet& p) {
  try {
    if (p.length() <= 2) return;
    const unsigned char a1 = p.pull8();
    const unsigned char a2 = p.pull8();
    if ((a1 & 1) != 0 || (a2 & 1) != 1) return;
    const unsigned char tei = a2 >> 1;
    const unsigned sapi = a1 >> 2;
    const bool response = a1 & 0x02;
    if (p.length() < 1 || !accept_frame_address(this, logs_, sapi, tei, p[0])) return;
    if (tei == kGroupTei) {
      p.pull8();  // UI: the address check takes no other frame to the group TEI
      if (sapi == kManagementSapi)
        on_tei_procedure(p);
      else
        send_to_layer3(p);
      return;
    }
    LAPD_NT_user* u = find_Tei(tei);
    if (!u) {
      u = find_free_Tei(tei);
      if (!u) {
        if (log_)
          std::clog << ext::header(this) << "recieved packet with unassigned TEI=" << unsigned(tei)
                    << ",removed" << std::endl;
        remove_tei(tei);
        return;
      }
      if (log_)
        std::clog << ext::header(this) << "Warning:recieved packet with unassigned TEI="
                  << unsigned(tei) << std::endl;
      u->assign();
    }
    u->receive(p, response);
  } catch (const std::bad_alloc&) {
    logs_.write(std::cerr, this, "no packet buffer, frame dropped");
  }
}

void LAPD_NT::on_tei_procedure(Packet& p) {
  if (p.length() <= 4 || p[0] != 0x0F) return;
  const uint16_t ri = static_cast<uint16_t>(p[1] | p[2] << 8);
  const unsigned char type = p[3];
  const unsigned char ai = p[4] >> 1;
  switch (type) {
    case kIdentityRequest: {
      if (ai < 64) {
        if (log_)
          std::clog << ext::header(this) << "recieved identity request with wrong Ai="
                    << unsigned(ai) << ",ignored" << std::endl;
        return;
      }
      if (ai != kGroupTei) {
        if (log_)
          std::clog << ext::header(this) << "recieved identity request with wrong Ai="
                    << unsigned(ai) << ",denied" << std::endl;
        send_tei(kIdentityDenied, ri, ai);
        return;
      }
      LAPD_NT_user* u = find_free_Tei(kGroupTei);
      if (!u) {
        if (log_)
          std::clog << ext::header(this)
                    << "recieved identity request, but all TEI values is ussigned" << std::endl;
        send_tei(kIdentityDenied, ri, kGroupTei);
        return;
      }
      if (log_)
        std::clog << ext::header(this) << "recieved identity request,TEI assigned:"
                  << unsigned(u->tei()) << std::endl;
      send_tei(kIdentityAssigned, ri, u->tei());
      // Calls that a former holder of the TEI left belong to nobody now.
      forget_calls(u->tei());
      u->assign();
      return;
    }
    case kCheckResponse:
      on_check_response(ri, ai);
      return;
    case kIdentityVerify:
      if (log_) std::clog << ext::header(this) << "recieved verify request" << std::endl;
      check_all_Tei();
      return;
    default:
      return;
  }
}

unsigned LAPD_NT::check_requests() const {
  return Mux::milliseconds() - check_sent_ms_ < LAPD_NT_user::check_ms ? check_requests_ : 0;
}

void LAPD_NT::on_check_response(uint16_t ri, unsigned char ai) {
  // A terminal cannot hold the group TEI; removing it would take every terminal's TEI away.
  if (ai == kGroupTei) return;
  LAPD_NT_user* u = find_Tei(ai);
  const bool found = u != nullptr;
  if (!u) u = find_free_Tei(ai);
  if (!u) {
    if (log_)
      std::clog << ext::header(this) << "recieved check response with wrong Ai=" << unsigned(ai)
                << ",removed" << std::endl;
    remove_tei(ai);
    return;
  }
  if (found && !u->is_checking()) {
    // Within a check, more responses than requests come from a second terminal holding the TEI,
    // whatever their Ri: two terminals that drew the same Ri when they asked answer with the same
    // one; an entry that a frame assigned after the request is answered by the first. Outside a
    // check, a response with another Ri than the last is another terminal's.
    const unsigned requests = check_requests();
    const bool outside = requests == 0 && u->answers() == 0;
    if (outside && u->ri() == ri) return;
    if (outside || u->answers() >= std::max(1u, requests)) {
      if (log_)
        std::clog << ext::header(this) << "recieved check response with dublicated Ai="
                  << unsigned(ai) << ",removed" << std::endl;
      u->unassign();
      remove_tei(ai);
      return;
    }
  }
  if (log_) std::clog << ext::header(this) << "TEI " << unsigned(ai) << " checked" << std::endl;
  u->check_answered(ri);
}

}  // namespace ISDN
