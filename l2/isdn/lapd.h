// ISDN::LAPD: the Q.921 data link of one D channel, multiple-frame operation for one SAPI/TEI
// pair (modulo 128, window 7) on either side of the interface, with TEI assignment on a
// basic-rate user side.
//
// Layer 3 sits above it in the owner's protocol stack (message down, on_message up); below it is
// one HDLC channel (GenericHDLC) that it drives directly and whose callbacks it receives through
// HDLC::Notify. The owner sets `hdlc`, `side`, `trunk`, `log` and `notify` after construction
// and calls change_to_bri() for a basic-rate channel.
//
// Ownership and re-entrancy: the outgoing I queue and the acknowledge queue hold packet handles;
// the single timer slot `timer_` runs at most one of T200, T202 and T203. Every entry point
// (a frame, a primitive, a timer expiry, room on the channel) completes its state and timer
// changes before it reports anything upward; the reports (statuses, link up and down, layer-3
// messages, flow-status changes) come last, and the link notices when the owner destroys it from
// one of them and touches nothing afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "asn1/modules/acp.h"
#include "base/log_throttles.h"
#include "base/throttled_line.h"
#include "base/timer.h"
#include "hw/hdlc.h"
#include "proto/clean_queue.h"
#include "proto/cyclic.h"
#include "proto/protocol.h"

namespace ISDN {

struct Side {
  enum type { user = 0, network = 1 };
};
// "user" for 0, "network" otherwise.
std::ostream& operator<<(std::ostream& os, Side::type side);

// The text of a LAPD state (0 to 7); "(unknown)" for any other value.
const char* statetext(unsigned state);

// Where the references (Ri) of a user side's TEI requests come from: by default a generator
// seeded once from the system's entropy. A test puts a seeded one in its place; an empty
// function brings the default back.
void set_ri_source(std::function<uint16_t()> source);

using SeqNo = Cyclic<unsigned, 127u>;

// The protocol state of one data link (Q.921 5, its state variables and flags). Copyable: status
// reports carry a copy.
class LAPDFullState {
 public:
  // Each line starts with a line break and "   - ".
  void out(std::ostream& os) const;

  uint32_t state = 3;
  uint32_t self_tei = 0;
  uint32_t self_sapi = 0;
  uint32_t peer_tei = 0;
  uint32_t peer_sapi = 0;
  uint32_t rc = 0;
  bool peer_busy = false;
  bool own_busy = false;
  bool reject_exception = false;
  bool l3_initiated = false;
  bool establishable = true;
  bool queued_up = false;
  bool retr_rq = false;
  bool ack_rq = false;
  bool t200_running = false;
  bool t202_running = false;
  bool t203_running = false;
  SeqNo vs;
  SeqNo va;
  SeqNo vr;
};

// Final: the calls that the link makes on its own virtual functions (its head room for a frame it
// builds, a frame from the channel) are direct and inline.
class LAPD final : public Protocol, private LAPDFullState, public HDLC::Notify {
 public:
  // The owner's listener of flow-status changes.
  class Notify {
   public:
    virtual ~Notify() = default;
    virtual void OnLAPD_FlowStatusChange(LAPD* lapd) = 0;
  };
  struct FlowStatus {
    enum Type { ready = 0, busy = 1 };
  };
  struct Stats {
    // Each line starts with a line break.
    void out(std::ostream& os) const;

    uint32_t t200 = 0;
    uint32_t t202 = 0;
    uint32_t t203 = 0;
    uint32_t errors = 0;
    uint32_t retrains = 0;
    uint32_t out_overflows = 0;
    uint32_t ack_overflows = 0;
    uint32_t tx_messages = 0;
    uint32_t rx_messages = 0;
    uint32_t empty_messages = 0;
    uint32_t rejected = 0;
    uint32_t bad_confirmations = 0;
  };
  // An error report: its text and a copy of the link's state at that moment.
  class Status : public Protocol_status_error, private LAPDFullState {
   public:
    Status(LAPD* lapd, const std::string& text);
    void out(std::ostream& os) const override;
  };

  // Q.921 5.9: system parameters.
  static constexpr unsigned k = 7;
  static constexpr unsigned n200 = 3;
  static constexpr unsigned n202 = 3;
  static constexpr unsigned t200_ms = 1000;
  static constexpr unsigned t202_ms = 2000;
  static constexpr unsigned t203_ms = 10000;
  // Q.921 5.9.3: the largest information field of an I or UI frame, in octets.
  static constexpr unsigned n201 = 260;
  static constexpr unsigned kOutCapacity = 135;
  static constexpr unsigned kAckCapacity = 7;

  LAPD(Side::type side, unsigned log);
  ~LAPD() override;

  const Protocol_name& name() const override { return name_; }
  // 4 octets of head room: address and control.
  void local_prepare_head(Packet& p) override;
  void local_prepare_tail(Packet& p) override;
  // DL-ESTABLISH and DL-RELEASE requests.
  void local_activate() override;
  void local_deactivate() override;
  // DL-DATA request: one layer-3 message.
  void message(Packet& p) override;
  // One frame from the HDLC channel, without its check sequence.
  void receive(Packet& p) override;

  virtual void PutHeader(std::ostream& os) const;
  void on_hdlc_receive(Packet& frame) override;
  // The channel failed: the link goes down at once.
  void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
  void on_hdlc_ready() override;

  // TEI management (Q.921 5.3) and management errors.
  virtual void mdl_assign(unsigned char tei);
  virtual void on_mdl_assign();
  virtual void mdl_remove();
  virtual void on_error(unsigned code);
  void on_error(const char* text);
  // Turns TEI management and UI frames on.
  void change_to_bri();

  // A report of the current state ("current status").
  Protocol_status status();
  // The link information; true when it differs from what the last call returned.
  bool GetInfo(ACP::IsdnLinkInfo& info) const;
  // The state record and the statistics, on standard output.
  void show_stat() const;

  FlowStatus::Type flow_status() const { return flow_; }
  const Stats& stats() const { return stats_; }
  const LAPDFullState& full_state() const { return *this; }
  unsigned out_queue_count() const { return out_q_.count(); }
  // Why message() would drop a layer-3 message of `length` octets (longer than N201, or the I
  // queue holds its limit), or null when it takes it.
  const char* refusal(unsigned length) const;
  unsigned ack_queue_count() const { return ack_q_.count(); }

  GenericHDLC* hdlc = nullptr;
  Side::type side;
  uint32_t trunk = 0;
  unsigned log;
  Notify* notify = nullptr;

 private:
  enum TimerId { T200, T202, T203 };
  // Frame types of tx_cmd_resp: the S types, and the U types by their control octet.
  enum FrameType : unsigned char {
    RR = 0,
    RNR = 1,
    REJ = 2,
    UI = 0x03,
    DM = 0x0F,
    DISC = 0x43,
    UA = 0x63,
    SABME = 0x6F,
    FRMR = 0x87,
  };
  struct Received;
  class Entry;
  // Reports that wait for the end of the state change that raised them.
  struct Pending {
    static constexpr unsigned kMaxStatuses = 8;
    Protocol_status statuses[kMaxStatuses];
    unsigned count = 0;
    enum Link { kNone, kUp, kDown } link = kNone;
    Protocol_status down_status;
  };

  // Frames from below.
  void on_sabme(const Received& f);
  void on_disc(const Received& f);
  void on_ua(const Received& f);
  void on_dm(const Received& f);
  // RR, RNR or REJ (`type`).
  void on_supervisory(unsigned type, SeqNo nr, bool pf, bool command);
  void on_frmr(const Received& f);
  // An I frame whose information field is longer than N201.
  void on_long_iframe();
  // In the established states, the link is established again and error `code` reported.
  void reestablish_on(unsigned code);
  // The message goes up after the reports that the frame raised, unless they destroyed the link.
  void on_ICOM(SeqNo ns, SeqNo nr, bool p, Packet& info, const Entry& entry);
  void on_UI(Packet& info);
  // A frame (3 octets at least) to a TEI other than this link's, and not another terminal's on a
  // basic-rate user side: false when the link does not take it; on a point-to-point link one to
  // neither this TEI nor the group's is then logged like one for another SAPI.
  bool tei_accepted(const Packet& frame);

  // The queues' work after a state change; inline in finish.
  void local_events();
  // Drops what the peer acknowledged, logs it and queues a retransmission; local_events calls
  // it only when a retransmission or logging has work, and drop_acknowledged otherwise.
  void ack_queue_refreash();
  // Releases the frames that the peer acknowledged; how many.
  unsigned drop_acknowledged();
  // Moves the messages of the unacknowledged frames back to the head of the I queue, oldest
  // first, to be sent again with fresh numbers.
  void requeue_unacknowledged();
  // How many of the messages taken from layer 3 are out of the I queue: each one it gives up
  // adds one, each one moved back into it takes one away.
  unsigned out_given() const;
  // How many messages at the head of the I queue went out before and wait to go again.
  unsigned resent_waiting() const;
  void queued_up_send();
  // A layer-3 message that message() does not take: longer than N201, or the I queue full.
  void discard_message(unsigned length);
  void ack_pending();
  void change_flowstatus(FlowStatus::Type value);

  // Hands the frame to the channel (to_channel) and traces it with a log above 2; false when
  // the link has no channel or the channel refuses.
  bool xmit(Packet& frame);
  // xmit without a channel or with the trace: kept out of the common path.
  bool xmit_traced(Packet& frame);
  // Hands the frame to the channel; false, logged, when it refuses.
  bool to_channel(Packet& frame);
  // The line of a frame or header that found the packet pool empty.
  void no_packet_buffer();
  // Pushes the header in front of `message` and sends it; false (header gone again) when refused.
  bool tx_iframe(Packet& message, bool p);
  bool tx_cmd_resp(FrameType type, bool pf, bool command);
  bool tx_identity(unsigned ri, unsigned ai, unsigned type);
  // A new frame with the head room of the layers below and this one; false when the pool is
  // empty.
  bool new_frame(Packet& frame);
  void trace(const char* prefix, const Packet& frame, bool received);

  void establish_dl();
  void clear_exception();
  void retransmission(SeqNo nr);
  void tx_enquiry();
  void tx_enquiry_response();
  void nr_recovery();
  bool nr_valid(SeqNo nr) const;
  void discard_queue();
  // The link starts afresh: numbering from 0, and the messages already sent and not
  // acknowledged discarded with a line (those never sent stay queued).
  void reset_sequence();
  void BeginTeiAssignProcedure();
  void start_tei_procedure_if_idle();

  void set_state(uint32_t next);
  void start_timer(TimerId id);
  void stop_timer(TimerId id);
  void stop_all_timers();
  // "trying to <action> <id> while <other> running" for each other timer marked running; with
  // `take_over` their marks go.
  void report_timer_misuse(const char* action, TimerId id, bool take_over);
  bool& running(TimerId id);
  // A timer other than `id` is marked running.
  bool other_running(TimerId id) const;
  void on_T200();
  void on_T202();
  void on_T203();
  // An expiry: the mark cleared and counted, the timer's procedure, then the queues.
  void expire(TimerId id);
  void on_T200A();
  void on_T202A();
  void on_T203A();

  // Queues a report for the end of the current entry point.
  void report(Protocol_status status);
  void report_error(unsigned code) { on_error(code); }
  // The link is up: reported once per time it was down, and as the confirmation of every
  // establishment layer 3 `requested`; a re-establishment that the peer or an error started is
  // no change of state for the owner.
  void link_up(bool requested = false);
  void link_down(Protocol_status status);
  // Makes the queued reports; false when the link was destroyed meanwhile.
  bool flush(const Entry& entry) {
    return (!pending_.count && pending_.link == Pending::kNone) || make_reports(entry);
  }
  bool make_reports(const Entry& entry);
  // flush, then local_events, then flush again: the tail of every entry point.
  void finish(const Entry& entry);
  // finish, inline in the entry points that every frame takes.
  void finish_inline(const Entry& entry);

  Protocol_name_str name_{"ISDN::LAPD"};
  Stats stats_;
  FlowStatus::Type flow_ = FlowStatus::ready;
  mutable ACP::IsdnLinkInfo last_info_;
  bool bri_ = false;
  uint16_t ri_ = 0;
  SlotTimer<LAPD> timer_;
  CleanQueue<Packet, kOutCapacity> out_q_;
  CleanQueue<Packet, kAckCapacity> ack_q_;
  // The messages moved back to the head of the I queue by the last move: how many (with those
  // still waiting from earlier moves), and out_given() just after it. The count of those still
  // waiting follows from these without any work per frame sent.
  struct Resent {
    unsigned count = 0;
    unsigned given = 0;
  } resent_;
  Pending pending_;
  Entry* entry_ = nullptr;
  // The owner was last told that the link is up.
  bool reported_up_ = false;
  // The lines that the peer or the owner can repeat: statuses, refused frames and messages.
  // The counts still owed are written when the link is destroyed.
  LogThrottles logs_;
  // The line of the messages discarded by restarts: those of a line the throttle leaves out
  // are counted by the next one written, or by the one the link writes when it is destroyed.
  CountingLine<unsigned> restart_line_;
};

}  // namespace ISDN
