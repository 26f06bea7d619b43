#include "l2/ss7/slc.h"

#include <iostream>
#include <new>
#include <utility>

#include "base/ext_header.h"
#include "base/ext_hex.h"

namespace SS7 {

namespace {

// Shorter units would read as a FISU or an LSSU at the peer, longer ones exceed Q.703's SIF.
bool msu_length_fits(unsigned length) {
  return length >= SLC::kMsuMin && length <= SLC::kMsuMax;
}

// The length indicator of a unit with `octets` behind its header: 63 stands for 63 or more.
unsigned length_indicator(unsigned octets) { return octets < 63 ? octets : 63; }

SeqNo next_of(SeqNo s) { return ++s; }
SeqNo previous_of(SeqNo s) { return --s; }

}  // namespace

const SLC::TimerSpec SLC::T1{45000, &SLC::on_t1};
const SLC::TimerSpec SLC::T2{7000, &SLC::on_t2};
const SLC::TimerSpec SLC::T3{1500, &SLC::on_t3};
const SLC::TimerSpec SLC::T4n{8200, &SLC::on_t4};
const SLC::TimerSpec SLC::T4e{500, &SLC::on_t4};
const SLC::TimerSpec SLC::T5{100, &SLC::on_nothing};
const SLC::TimerSpec SLC::T6{4500, &SLC::on_nothing};
const SLC::TimerSpec SLC::T7{12000, &SLC::on_t7};

std::ostream& operator<<(std::ostream& os, SLC::State::type t) {
  static const char* const texts[] = {"idle",    "not aligned",   "aligned",
                                      "proving", "aligned ready", "worked"};
  unsigned i = t;
  return os << (i < 6 ? texts[i] : "unknown");
}

std::ostream& operator<<(std::ostream& os, SLC::Indication i) {
  static const char* const texts[] = {"out of alignment", "normal alignment",
                                      "emergency alignment", "out of service"};
  unsigned v = i;
  if (v < 4) return os << texts[v];
  return os << "unknown:" << ext::OutUnsignedInHex(v);
}

SLC::SLC() = default;
SLC::~SLC() {
  logs_.flush(this);
}

void SLC::PutShortInfo(std::ostream& os) const {
  os << "SS7/L2 " << "[" << "dpc=" << dpc << ", slc=" << slc << ", trunk=" << trunk << "]";
}

void SLC::PutHeader(std::ostream& os) const {
  PutShortInfo(os);
  os << " (" << state() << ")" << ": ";
}

void SLC::protocol_info(std::ostream& os) const { os << name_.name(); }

void SLC::local_prepare_tail(Packet& p) { p.reserve_tail(0); }

void SLC::hex_dump(const char* what, const Packet& p) const {
  std::clog << ext::header(this) << what;
  for (unsigned i = 0; i < p.length(); ++i)
    std::clog << ' ' << ext::OutUnsignedInHex(p[static_cast<int>(i)]);
  std::clog << std::endl;
}

void SLC::put_received_header(std::ostream& os) const {
  os << " BSN=" << unsigned(bsnr_) << " BIB=" << bibr_ << " FSN=" << unsigned(fsnr_)
     << " FIB=" << fibr_;
}

// Primitives from the owner and the channel.

void SLC::local_activate() {
  deactivated_ = false;
  if (state() == State::idle) {
    if (log.mtp_activate)
      std::clog << ext::header(this) << "local_activate: executing..." << std::endl;
    next_state(not_aligned_);
    return;
  }
  if (log.mtp_activate) std::clog << ext::header(this) << "local_activate: ignored." << std::endl;
  if (state() == State::worked) on_activate();
}

void SLC::local_deactivate() {
  if (log.mtp_activate) std::clog << ext::header(this) << "local_deactivate()" << std::endl;
  deactivated_ = true;
  next_state(idle_);
}

const char* SLC::refusal(unsigned length) const {
  if (!msu_length_fits(length)) return "MSU length outside 3 to 273 octets";
  // Only worked takes MSUs, into the TB.
  if (state() != State::worked) return "SS7 link not in service";
  if (tb_full()) return "SS7 TB full";
  return nullptr;
}

void SLC::message(Packet& p) {
  if (log.mtp_transmit) hex_dump(" mtp tx", p);
  if (!msu_length_fits(p.length()))
    refuse_length(p.length());
  else if (state_ == &worked_)
    message(&worked_, p);  // the traffic's state, without the dispatch
  else
    state_->message(*this, p);
}

__attribute__((noinline, cold)) void SLC::refuse_length(unsigned length) {
  logs_.write(std::cerr, this, "refuse msu", " of ", length, " octets");
}

void SLC::receive(Packet& p) {
  try {
    if (log.raw_receive) hex_dump(" rx raw", p);
    const unsigned length = p.length();
    stats_.octets_received += length;
    if (length < kHeader) {
      ignore_short(p);
      return;
    }
    stats_.su_received += 1;
    // The header is read in place: FISUs and LSSUs are never written to, so a buffer that the
    // sender still holds is not copied for them.
    const unsigned char* header = p.get()->data;
    const unsigned backward = header[0], forward = header[1];
    const unsigned li = header[2] & 0x3F;  // the two spare bits are not the peer's length
    bsnr_ = backward;
    bibr_ = (backward & 0x80) != 0;
    fsnr_ = forward;
    fibr_ = (forward & 0x80) != 0;
    const unsigned left = length - kHeader;
    // LI 63 stands for 63 octets or more, up to the longest MSU (Q.703 2.3.3, 5.3.1).
    if (li != left && (li != 63 || left - 63 > kMsuMax - 63)) {
      receive_misfit(p, li, left);
      return;
    }
    hand_over(p, left, kHeader);
  } catch (const std::bad_alloc&) {
    logs_.write(std::cerr, this, "no packet buffer, signal unit dropped");
  }
}

__attribute__((noinline, cold)) void SLC::ignore_short(const Packet& p) {
  logs_.write(std::cerr, this, "ignore packet, length too small", " ", p.text());
}

__attribute__((noinline, cold)) void SLC::receive_misfit(Packet& p, unsigned li, unsigned left) {
  const unsigned n = length_indicator(left);
  if (li == n) {
    too_long(left);
    return;
  }
  // Only a unit with fewer than 63 octets behind its header and an LI that covers part of them
  // can be read: cut to its LI. One of 63 or more cannot be cut (its LI may stand for any of
  // them), and one shorter than its LI lacks the rest.
  if (li >= n || n == 63) {
    logs_.write(std::cerr, this, "invalid packet length", ", expected = ", li, ", received = ",
                left, ": dropped");
    return;
  }
  p.pull(kHeader);
  p.trim(n - li);
  // The lines of one unit come together, or not at all.
  uint32_t left_out = 0;
  if (logs_.allow(std::cerr, "invalid packet length", left_out)) {
    std::cerr << ext::header(this) << "invalid packet length," << " expected = " << li
              << ", received = " << left << LogThrottle::left_out_text(left_out) << std::endl;
    std::cerr << ext::header(this) << "truncate " << n - li << " octet(s) : " << p.text()
              << std::endl;
  }
  hand_over(p, p.length(), 0);
}

__attribute__((noinline, cold)) void SLC::too_long(unsigned length) {
  logs_.write(std::cerr, this, "signal unit too long", ", received = ", length, ", MSU at most ",
              kMsuMax, " octets: dropped");
}

// Worked carries the traffic: its handlers run here without the state's dispatch.
inline void SLC::hand_over(Packet& p, unsigned length, unsigned header_left) {
  if (length == 0) {
    if (state_ == &worked_)
      fisu(&worked_);
    else
      state_->fisu(*this);
  } else if (length <= 2) {
    state_->lssu(*this, static_cast<Indication>(p[static_cast<int>(header_left)]));
  } else {
    p.pull(header_left);
    if (state_ == &worked_)
      msu(&worked_, p);
    else
      state_->msu(*this, p);
  }
}

void SLC::on_hdlc_error(HDLC::Notify::Cause::Type cause) {
  std::clog << ext::header(this) << "hdlc error [cause=" << unsigned(cause) << "]" << std::endl;
  if (state() != State::idle) next_state(idle_);
}

void SLC::on_hdlc_ready() {
  logs_.write(std::clog, this, "hdlc ready");
  process_tb();
}

void SLC::OnTrunkHardStatus(bool up) {
  if (up || state() == State::idle) return;
  std::clog << ext::header(this) << " transport OFF by low level terminated" << std::endl;
  next_state(idle_);
}

const SLC::Statistics& SLC::statistics() {
  stats_.rtb_size = rtb_fill_;
  return stats_;
}

// Sending.

inline bool SLC::send(Packet& p) {
  if (!hdlc) return no_channel();
  const unsigned len = p.length();
  unsigned char* header;
  try {
    header = p._headroom() >= kHeader ? p.push(kHeader) : push_with_room(p);
  } catch (const std::bad_alloc&) {
    return no_buffer();
  }
  return emit(p, header, len);
}

// Every FISU is a fresh buffer: the link keeps none for later. Inline in ack(), on the path of
// every MSU received; fisu() serves the other senders.
__attribute__((always_inline)) inline void SLC::send_fisu() {
  Packet p;
  unsigned char* header;
  try {
    if (lower()) prepare_below(p);
    p.reserve_head(kHeader);
    header = p.push(kHeader);
  } catch (const std::bad_alloc&) {
    no_buffer();
    return;
  }
  if (hdlc)
    emit(p, header, 0);
  else
    no_channel();
}

void SLC::fisu() { send_fisu(); }

bool SLC::emit(Packet& p, unsigned char* header, unsigned len) {
  header[0] = static_cast<unsigned char>((bibt_ ? 0x80 : 0) | bsnt_);
  header[1] = static_cast<unsigned char>((fibt_ ? 0x80 : 0) | fsnt_);
  header[2] = static_cast<unsigned char>(length_indicator(len));
  if (!hdlc->hdlc_transmit(p)) return refused(p);
  if (log.raw_transmit) hex_dump(" tx raw", p);
  stats_.su_sent += 1;
  stats_.octets_sent += len + kHeader;  // the channel leaves the unit as it is
  return true;
}

__attribute__((noinline, cold)) bool SLC::no_channel() const {
  std::clog << ext::header(this) << "no HDLC interface attached!!!" << std::endl;
  return false;
}

__attribute__((noinline, cold)) bool SLC::no_buffer() {
  logs_.write(std::cerr, this, "no packet buffer, signal unit not sent");
  return false;
}

__attribute__((noinline, cold)) unsigned char* SLC::push_with_room(Packet& p) {
  Packet room;
  room.reserve_head(kHeader);
  room.put(p);
  p = room;
  return p.push(kHeader);
}

__attribute__((noinline, cold)) void SLC::prepare_below(Packet& p) { descend_prepare_head(p); }

__attribute__((noinline, cold)) bool SLC::refused(Packet& p) {
  if (log.raw_transmit) std::clog << ext::header(this) << " tx full!" << std::endl;
  p.pull(kHeader);  // the channel did not take it, so nothing else holds the buffer
  return false;
}

void SLC::lssu(Indication status) {
  if (!hdlc) return;
  try {
    Packet p;
    p.reserve_head(0);
    for (unsigned char b : {0xFF, 0xFF, 0x01}) p.put8(b);
    p.put8(status);
    hdlc->hdlc_transmit(p);
  } catch (const std::bad_alloc&) {
    no_buffer();
  }
}

void SLC::put_to_tb(Packet& p) {
  if (tb_full()) {
    tb_overflow(p);
    return;
  }
  tb_.put(std::move(p));  // the MSU is the link's from here on
}

__attribute__((noinline, cold)) void SLC::tb_overflow(const Packet& p) {
  stats_.tb_overflows += 1;
  logs_.write(std::cerr, this, "no space in TB buffer,", " TB=", tb_.count(), " RTB=", rtb_fill_,
              " ignoring msu: ", p.text());
}

void SLC::process_tb() {
  if (state() != State::worked) return;
  if (tb_.empty()) {
    fisu();
    return;
  }
  // The header goes in front of the MSU itself, which the RTB then keeps as it was sent: no copy
  // unless something else still holds the buffer.
  Packet head;
  while (rtb_fill_ < kRtbLimit && tb_.get(head)) {
    if (!send_msu(head)) {
      tb_.append(std::move(head));
      return;
    }
  }
}

inline bool SLC::send_msu(Packet& msu) {
  const SeqNo sent_before = fsnt_;
  fsnt_ = next_of(fsnl_);
  if (!send(msu)) {
    // FISUs keep naming the last MSU that did go out.
    fsnt_ = sent_before;
    return false;
  }
  fsnl_ = fsnt_;
  rtb_[fsnl_] = std::move(msu);
  if (++rtb_fill_ == 1) start_timer(T7);
  return true;
}

// Basic error correction.

void SLC::make_expected() {
  last_accepted_ = bsnt_;
  expected_fib_ = bibt_;
  expected_bib_ = fibt_;
}

__attribute__((noinline, cold)) bool SLC::give_up(const char* line) {
  if (log.msu_processing) {
    std::cerr << ext::header(this) << line;
    put_received_header(std::cerr);
    std::cerr << std::endl;
  }
  next_state(idle_);
  return false;
}

__attribute__((noinline, cold)) bool SLC::unexpected_fib() {
  if (retransmission_awaited_) return process_bsnr();
  if (bad_fib_) return give_up("bad start of a retransmission: ");
  bad_fib_ = true;
  return true;
}

bool SLC::process_bsnr() {
  SeqNo acked = previous_of(fsnf_);
  // A BSN that acknowledges nothing new (most signal units) lies in the window and frees nothing.
  const bool freed = bsnr_ != acked;
  if (freed) {
    if (!(acked <= bsnr_ <= fsnl_)) return bad_bsn();
    release_acknowledged();
  }
  bad_bsn_ = false;
  if (rtb_fill_ == 0) stop_timer();
  if (bibr_ != expected_bib_)
    retransmit();
  else if (freed && !tb_.empty())
    process_tb();  // MSUs waiting for room in the RTB go out now
  return true;
}

__attribute__((noinline, cold)) bool SLC::bad_bsn() {
  if (!bad_bsn_) {
    bad_bsn_ = true;
    return true;
  }
  return give_up("bad su acknowledgement received: ");
}

void SLC::release_acknowledged() {
  start_timer(T7);
  // The count and the FSN are kept aside while the buffers go back to the pool.
  const SeqNo first_open = next_of(bsnr_);
  SeqNo first = fsnf_;
  unsigned fill = rtb_fill_;
  do {
    rtb_[first].reset();
    --fill;
    ++first;
  } while (first != first_open);
  fsnf_ = first;
  rtb_fill_ = fill;
}

inline void SLC::ack() {
  bsnt_ = fsnr_;
  if (log.msu_processing) std::cerr << ext::header(this) << "ack!" << std::endl;
  send_fisu();
}

__attribute__((noinline, cold)) void SLC::nack() {
  bibt_ = !bibt_;
  expected_fib_ = bibt_;
  retransmission_awaited_ = true;
  fisu();
  stats_.nacks_sent += 1;
  if (log.msu_processing) std::cerr << ext::header(this) << "nack!" << std::endl;
}

__attribute__((noinline, cold)) void SLC::retransmit() {
  if (log.msu_processing)
    std::cerr << ext::header(this) << "retransmit" << " rtb=" << rtb_fill_ << std::endl;
  stats_.retransmissions += 1;
  fsnt_ = previous_of(fsnf_);
  fibt_ = bibr_;
  SeqNo i = fsnl_;
  for (unsigned n = rtb_fill_; n > 0; --n, --i) {
    // The TB holds MSUs: the header goes, to be written afresh.
    Packet msu = std::move(rtb_[i]);
    try {
      msu.pull(kHeader);
    } catch (const std::bad_alloc&) {
      logs_.write(std::cerr, this, "no packet buffer, msu dropped");
      continue;
    }
    tb_.append(std::move(msu));
  }
  fsnl_ = previous_of(fsnf_);
  rtb_fill_ = 0;
  process_tb();
}

void SLC::release_rtb() {
  for (Packet& p : rtb_) p = Packet();
  fsnf_ = 0;
  fsnl_ = 127;
  rtb_fill_ = 0;
}

void SLC::reset() {
  release_rtb();
  retransmission_awaited_ = bad_bsn_ = bad_fib_ = false;
  bsnt_ = fsnt_ = 127;
  bibt_ = fibt_ = true;
}

// States.

void SLC::next_state(State& s) {
  if (log.state) {
    PutShortInfo(std::clog);
    std::clog << ": " << "change state from " << ext::quoted(state()) << " to "
              << ext::quoted(s.get_state_id()) << std::endl;
  }
  state_->on_leave(*this);
  state_ = &s;
  s.on_enter(*this);
}

void SLC::start_timer(const TimerSpec& t) { timer_.set(t.ms, t.expire, this); }

void SLC::expired(const char* line, State& next) {
  if (log.timers) std::clog << ext::header(this) << line << std::endl;
  next_state(next);
}

void SLC::on_t1() { expired("T1 expired", idle_); }
void SLC::on_t2() { expired("T2 expired", idle_); }
void SLC::on_t3() { expired("T3 expired", idle_); }
void SLC::on_t4() { expired("T4 expired.", aligned_ready_); }

void SLC::on_t7() {
  if (log.timers)
    std::clog << ext::header(this) << "T7 expired: " << rtb_fill_ << " packets in RTB."
              << std::endl;
  next_state(idle_);
}

void SLC::on_enter(Idle*) {
  reset();
  lssu(sios);
  on_deactivate(make_status<Protocol_status_error>(this, "impossible phasing"));
}

void SLC::on_enter(NotAligned*) {
  reset();
  start_timer(T2);
  lssu(sio);
}

void SLC::lssu_aligning(Indication i) {
  if (i == sio)
    next_state(aligned_);
  else if (i == sin || i == sie)
    next_state(proving_);
}

void SLC::lssu(Idle*, Indication i) {
  if (!deactivated_) lssu_aligning(i);
}

void SLC::on_enter(Aligned*) {
  start_timer(T3);
  if (log.timers) std::clog << ext::header(this) << "set T3" << std::endl;
  lssu(emergency ? sie : sin);
}

void SLC::lssu(Aligned*, Indication i) {
  if (i == sin || i == sie) next_state(proving_);
}

void SLC::on_enter(Proving*) {
  start_timer(emergency ? T4e : T4n);
  lssu(emergency ? sie : sin);
  if (log.timers) std::clog << ext::header(this) << "set T4" << std::endl;
}

void SLC::fisu(Proving*) { next_state(worked_); }

void SLC::lssu(Proving*, Indication i) {
  if (i != sin && i != sie) next_state(idle_);
}

void SLC::msu(Proving*, Packet&) { next_state(worked_); }

void SLC::on_enter(AlignedReady*) {
  start_timer(T1);
  fisu();
}

void SLC::on_enter(Worked*) {
  if (!tb_.empty()) {
    std::cerr << ext::header(this) << "discard " << tb_.count() << " msu in TB" << std::endl;
    tb_.clear();
  }
  reset();
  fisu();
  process_tb();
  on_activate();
}

__attribute__((always_inline)) inline void SLC::fisu(Worked*) {
  make_expected();
  if (fibr_ != expected_fib_) {
    unexpected_fib();
    return;
  }
  retransmission_awaited_ = bad_fib_ = false;
  if (!process_bsnr()) return;
  if (fsnr_ != last_accepted_) nack();
}

void SLC::lssu(Worked*, Indication i) {
  // The peer can take the link out of service and back within three units.
  const char* kind = "receive lssu: ";
  uint32_t left_out = 0;
  if (logs_.allow(std::cerr, kind, left_out)) {
    std::cerr << ext::header(this) << kind << i << ' ';
    put_received_header(std::cerr);
    std::cerr << LogThrottle::left_out_text(left_out) << std::endl;
  }
  next_state(idle_);
}

__attribute__((always_inline)) inline void SLC::msu(Worked*, Packet& p) {
  make_expected();
  if (fsnr_ == last_accepted_) {
    if (log.msu_processing) discard_line("discard msu due to 5.2.2/i Q.702");
    return;
  }
  if (fibr_ != expected_fib_) {
    unexpected_fib();
    return;
  }
  retransmission_awaited_ = bad_fib_ = false;
  if (!process_bsnr()) return;
  if (fsnr_ != next_of(last_accepted_)) {
    if (log.msu_processing) discard_line("discard msu due to 5.2.2/ii Q.702");
    nack();
    return;
  }
  ack();
  if (log.mtp_receive) hex_dump(" mtp rx", p);
  on_message(p);
}

__attribute__((noinline, cold)) void SLC::discard_line(const char* line) const {
  std::clog << ext::header(this) << line << " fsnr=" << unsigned(fsnr_)
            << " fsnx=" << unsigned(last_accepted_) << std::endl;
}

inline void SLC::message(Worked*, Packet& p) {
  // Nothing waits in the TB and the RTB has room: the MSU goes out without passing through it.
  if (tb_.empty() && rtb_fill_ < kRtbLimit) {
    if (!send_msu(p)) tb_.put(std::move(p));
    return;
  }
  put_to_tb(p);
  process_tb();
}

}  // namespace SS7
