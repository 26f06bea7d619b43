// SS7::SLC: signalling link control of one SS7 link (MTP level 2, Q.703) with basic error
// correction: initial alignment with normal or emergency proving, then sequence numbering modulo
// 128, positive and negative acknowledgement, a retransmission buffer (RTB) of the MSUs sent and
// not yet acknowledged and a transmission buffer (TB) of those that have no FSN yet.
//
// Below the link is one HDLC channel (GenericHDLC, not owned) that adds flags and check bits and
// whose callbacks arrive through HDLC::Notify; above it the owner's protocol stack sends MSUs
// (SIO and SIF) with message and receives them through on_message. The link comes up with
// on_activate and reports every entry into idle with on_deactivate("impossible phasing").
//
// States are objects (State); each handler of a state calls the link's member of the same name
// that takes that state's class, so aligned ready, derived from proving, receives as proving
// does. Worked, which carries the traffic, has its FISU, MSU and message handlers called
// directly, without the dispatch. One timer slot runs at most one of T1, T2, T3, T4 and T7.
//
// Every report upward is the last thing a handler does, so an owner may tear the link down from
// inside a report.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "base/log_throttles.h"
#include "base/timer.h"
#include "hw/hdlc.h"
#include "proto/clean_queue.h"
#include "proto/cyclic.h"
#include "proto/protocol.h"

namespace SS7 {

using SeqNo = Cyclic<unsigned, 127u>;

class SLC final : public Protocol, public HDLC::Notify {
 public:
  // LSSU status.
  enum Indication : unsigned char { sio = 0, sin = 1, sie = 2, sios = 3 };

  class State {
   public:
    enum type { idle = 0, not_aligned = 1, aligned = 2, proving = 3, aligned_ready = 4,
                worked = 5 };
    explicit State(type t) : id(t) {}
    virtual ~State() = default;
    virtual void on_enter(SLC&) = 0;
    virtual void on_leave(SLC&) = 0;
    virtual void fisu(SLC&) = 0;
    virtual void lssu(SLC&, Indication) = 0;
    virtual void msu(SLC&, Packet&) = 0;
    virtual void message(SLC&, Packet&) = 0;
    type get_state_id() const { return id; }

    const type id;
  };
  template <State::type N, class Base = State>
  class TState : public Base {
   public:
    TState() : Base(N) {}
    void on_enter(SLC& s) override { s.on_enter(this); }
    void on_leave(SLC& s) override { s.on_leave(this); }
    void fisu(SLC& s) override { s.fisu(this); }
    void lssu(SLC& s, Indication i) override { s.lssu(this, i); }
    void msu(SLC& s, Packet& p) override { s.msu(this, p); }
    void message(SLC& s, Packet& p) override { s.message(this, p); }
    // For a state class derived from this one.
    explicit TState(State::type n) : Base(n) {}
  };
  using Idle = TState<State::idle>;
  using NotAligned = TState<State::not_aligned>;
  using Aligned = TState<State::aligned>;
  using Proving = TState<State::proving>;
  using AlignedReady = TState<State::aligned_ready, Proving>;
  using Worked = TState<State::worked>;

  // The eight log switches, in the order of LGCP::SS7L2Log.
  struct Log {
    bool state = false;
    bool raw_receive = false;
    bool raw_transmit = false;
    bool mtp_transmit = false;
    bool mtp_receive = false;
    bool mtp_activate = false;
    bool timers = false;
    bool msu_processing = false;
  };
  struct Statistics {
    uint32_t su_sent = 0;
    uint32_t su_received = 0;
    uint32_t octets_sent = 0;
    uint32_t octets_received = 0;
    uint32_t tb_overflows = 0;
    uint32_t rtb_size = 0;
    uint32_t retransmissions = 0;
    uint32_t nacks_sent = 0;
  };
  struct TimerSpec {
    unsigned ms;
    void (SLC::*expire)();
  };
  static const TimerSpec T1, T2, T3, T4n, T4e, T5, T6, T7;

  // The TB takes at most this many MSUs; its ring has room for a whole RTB put back in front.
  static constexpr unsigned kTbLimit = 200;
  static constexpr unsigned kRtbLimit = 127;
  // BSN, FSN and LI.
  static constexpr unsigned kHeader = 3;
  // SIO plus SIF: Q.703 allows 2 to 272 octets of SIF.
  static constexpr unsigned kMsuMin = 3;
  static constexpr unsigned kMsuMax = 273;

  SLC();
  ~SLC() override;

  const Protocol_name& name() const override { return name_; }
  // Inline: the owner builds every MSU on it.
  void local_prepare_head(Packet& p) override { p.reserve_head(kHeader); }
  void local_prepare_tail(Packet& p) override;
  void local_activate() override;
  void local_deactivate() override;
  // An MSU (SIO and SIF) from the owner. What refusal names is dropped: a length outside
  // kMsuMin to kMsuMax with a line, the others as the state decides (counted when the TB is full).
  void message(Packet& p) override;
  // Why message() would not send an MSU of `length` octets now, or null: a length the peer would
  // misread, a link out of service, a full TB.
  const char* refusal(unsigned length) const;
  // A signal unit from the channel, without flags and check bits.
  void receive(Packet& p) override;
  void protocol_info(std::ostream& os) const override;

  void on_hdlc_receive(Packet& frame) override { receive(frame); }
  // The channel failed: the link goes to idle.
  void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
  void on_hdlc_ready() override;

  void OnTrunkHardStatus(bool up);
  const Statistics& statistics();
  State::type state() const { return state_->get_state_id(); }
  unsigned rtb_fill() const { return rtb_fill_; }
  unsigned tb_count() const { return tb_.count(); }
  // BSNT: the FSN of the last MSU accepted.
  unsigned bsnt() const { return bsnt_; }

  void PutHeader(std::ostream& os) const;
  void PutShortInfo(std::ostream& os) const;

  // Owner configuration.
  unsigned trunk = 0;
  unsigned slc = 0;
  unsigned dpc = 0;
  bool emergency = false;
  GenericHDLC* hdlc = nullptr;
  Log log;

  // The state handlers; the State overloads do nothing.
  void on_enter(State*) {}
  void on_leave(State*) {}
  void fisu(State*) {}
  void lssu(State*, Indication) {}
  void msu(State*, Packet&) {}
  void message(State*, Packet&) {}
  void on_enter(Idle*);
  void on_enter(NotAligned*);
  void on_leave(NotAligned*) { stop_timer(); }
  void lssu(NotAligned*, Indication i) { lssu_aligning(i); }
  void lssu(Idle*, Indication i);
  void on_enter(Aligned*);
  void on_leave(Aligned*) { stop_timer(); }
  void lssu(Aligned*, Indication i);
  void on_enter(Proving*);
  void on_leave(Proving*) { stop_timer(); }
  void fisu(Proving*);
  void lssu(Proving*, Indication i);
  void msu(Proving*, Packet&);
  void on_enter(AlignedReady*);
  void on_leave(AlignedReady*) { stop_timer(); }
  void on_enter(Worked*);
  void on_leave(Worked*) { stop_timer(); }
  void fisu(Worked*);
  void lssu(Worked*, Indication i);
  void msu(Worked*, Packet& p);
  void message(Worked*, Packet& p);

 private:
  void next_state(State& s);
  void start_timer(const TimerSpec& t);
  // Most units find the timer stopped already (the receiving side's empty RTB): no call then.
  void stop_timer() {
    if (timer_.pending()) timer_.reset();
  }
  // A timer expired: the line (with the timers switch), then the next state.
  void expired(const char* line, State& next);
  void on_t1();
  void on_t2();
  void on_t3();
  void on_t4();
  void on_t7();
  void on_nothing() {}

  // Receiving, beside the common case: a unit too short for a header; one whose length
  // indicator `li` does not match the `left` octets behind its header, or that is longer than an
  // MSU (cut to its LI and handed over when that can be done, else dropped with a line); one of
  // `length` octets after its header, longer than an MSU, dropped with a line; a unit of `length`
  // octets to its state, with `header_left` octets of header still in front.
  void ignore_short(const Packet& p);
  void receive_misfit(Packet& p, unsigned li, unsigned left);
  void too_long(unsigned length);
  void hand_over(Packet& p, unsigned length, unsigned header_left);

  void lssu_aligning(Indication i);
  // Pushes the header in front of `p` and sends it; false without a channel or a buffer, or
  // (header gone again) when the channel refused it.
  inline bool send(Packet& p);
  void fisu();
  inline void send_fisu();
  // Writes the header of a unit of `len` octets at `header`, in front of them, and hands the
  // unit to the channel; false (header gone again) when refused.
  inline bool emit(Packet& p, unsigned char* header, unsigned len);
  // The sending side's rare cases: no channel, no buffer (the line, then false); a packet
  // without head room for the header (moved into one that has it); the head room of the layers
  // below; a unit that the channel refused (the line, then false).
  bool no_channel() const;
  bool no_buffer();
  unsigned char* push_with_room(Packet& p);
  void prepare_below(Packet& p);
  bool refused(Packet& p);
  // The line for an MSU of a length that the peer would misread.
  void refuse_length(unsigned length);
  void lssu(Indication status);
  bool tb_full() const { return tb_.count() >= kTbLimit; }
  void put_to_tb(Packet& p);
  // The MSU that a full TB refuses: counted, and the line.
  void tb_overflow(const Packet& p);
  void process_tb();
  // Sends the next MSU and keeps it in the RTB; false (it stays the caller's) when the channel
  // refused it.
  inline bool send_msu(Packet& msu);
  void make_expected();
  // A FISU or MSU whose FIB is not the expected one; false when the link went to idle.
  bool unexpected_fib();
  // False when the link went to idle.
  inline bool process_bsnr();
  // A BSN outside the window: once let pass, twice in a row give up (false).
  bool bad_bsn();
  // The MSUs up to the BSN received leave the RTB; T7 starts again.
  void release_acknowledged();
  // The line of an MSU discarded for its FSN.
  void discard_line(const char* line) const;
  // A second fault in a row: the line and the received header (msu-processing), then idle.
  bool give_up(const char* line);
  void ack();
  void nack();
  void retransmit();
  void reset();
  void release_rtb();
  void put_received_header(std::ostream& os) const;
  void hex_dump(const char* what, const Packet& p) const;

  Protocol_name_str name_{"MTP/L2"};
  Idle idle_;
  NotAligned not_aligned_;
  Aligned aligned_;
  Proving proving_;
  AlignedReady aligned_ready_;
  Worked worked_;
  State* state_ = &idle_;

  // The received header.
  SeqNo bsnr_, fsnr_;
  bool bibr_ = false, fibr_ = false;
  // The transmit state.
  SeqNo bsnt_ = 127, fsnt_ = 127;
  bool bibt_ = true, fibt_ = true;
  // Snapshot at the start of each unit handled in worked.
  SeqNo last_accepted_;
  bool expected_fib_ = false, expected_bib_ = false;
  bool retransmission_awaited_ = false;
  bool bad_bsn_ = false;
  bool bad_fib_ = false;
  // The owner took the link out of service: idle ignores the peer's alignment until the next
  // local_activate.
  bool deactivated_ = false;

  Packet rtb_[128];
  SeqNo fsnf_ = 0, fsnl_ = 127;
  unsigned rtb_fill_ = 0;
  CleanQueue<Packet, kTbLimit + kRtbLimit> tb_;

  SlotTimer<SLC> timer_;
  Statistics stats_;
  // Lines that the peer or the owner can repeat at any rate, throttled per kind; the counts still
  // owed are written when the link is destroyed.
  LogThrottles logs_;
};

std::ostream& operator<<(std::ostream& os, SLC::State::type t);
std::ostream& operator<<(std::ostream& os, SLC::Indication i);

}  // namespace SS7
