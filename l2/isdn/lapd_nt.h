// ISDN::LAPD_NT: the network side of a basic-rate D channel in point-to-multipoint configuration,
// the exchange towards up to eight terminals.
//
// It assigns TEIs (Q.921 TEI management: automatic TEIs 64 to 126, identity check, remove and
// verify), runs one simplified acknowledged data link per assigned TEI (LAPD_NT_user), sends
// layer-3 SETUP messages to every terminal as broadcast UI frames and routes every other layer-3
// message to the terminal that holds its call: the live calls, keyed on their origin and call
// reference value, are kept in one CallReferences for all terminals. It is one Protocol layer:
// layer-3 messages come down through message, D-channel frames up through receive; frames leave
// through transmit and layer-3 messages go up through on_message. What message would drop,
// refusal names beforehand, so that an owner can refuse it instead.
//
// Each terminal's link keeps at most k = 7 I frames unacknowledged; further messages, and all
// of them while the terminal is busy, wait in its I queue, up to 128: refusal names the next
// one. A message that finds no packet buffer for its frame waits at the head of the queue and
// goes first when the link next sends. The whole bus holds kBusShare packet buffers, queued and
// unacknowledged together, beyond its terminals' windows: refusal names a message that would
// wait when the bus holds as many, so that one bus of stalled terminals cannot take the pool that
// every other link and the control connection draw on, while a terminal that takes its messages
// still gets them. All the buses of the process together hold at most kBusesShare: what each
// holds is summed over every LAPD_NT alive, and refusal names any message beyond that bound, and
// one that would wait beyond the bound less kWindowsRoom, which it keeps for terminals that take
// their messages. A terminal that starts its link afresh may have taken the frames it has not
// acknowledged: they are discarded, with a line, and what is still queued goes after the UA. A
// link that ends with messages unacknowledged, queued or sent, says how many were lost; the
// terminal keeps its TEI and its calls, which go to it again when it comes back. A frame is held
// to N201 both ways. Every report upward is the last thing an entry point does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iosfwd>

#include "base/cyclic_list.h"
#include "base/log_throttles.h"
#include "base/throttled_line.h"
#include "base/timer.h"
#include "l2/isdn/call_references.h"
#include "proto/clean_queue.h"
#include "proto/cyclic.h"
#include "proto/packet.h"
#include "proto/protocol.h"

namespace ISDN {

class LAPD_NT;

// One terminal's data link on the network side.
class LAPD_NT_user {
 public:
  using Seq = Cyclic<unsigned, 127u>;
  enum State : uint32_t { unassigned = 0, assigned = 1, wait_answer = 2 };
  static constexpr unsigned k = 7;
  static constexpr unsigned n200 = 3;
  static constexpr unsigned t200_ms = 1000;
  static constexpr unsigned t203_ms = 10000;
  static constexpr unsigned check_ms = 2000;
  static constexpr unsigned kIQueueLimit = 128;

  LAPD_NT_user();
  LAPD_NT_user(const LAPD_NT_user&) = delete;
  LAPD_NT_user& operator=(const LAPD_NT_user&) = delete;

  void set_lapd(LAPD_NT* lapd) { lapd_ = lapd; }
  void set_log(unsigned level) { log_ = level; }
  // A new TEI: the link starts with SABME.
  void assign();
  void unassign();
  // Starts a TEI check of an assigned entry (a request within a pending check starts it again);
  // unanswered within 2 s it unassigns.
  void checking();
  // A check response with reference `ri`: it answers the pending check, or assigns a free entry
  // afresh. Until the check ends (2 s after its last request, or after this answer for an entry
  // that was not in the check), answers() counts the responses: more than the check's requests
  // mean that two terminals hold the TEI.
  void check_answered(uint16_t ri);
  unsigned answers() const { return answers_; }
  // A layer-3 message for one of this assigned terminal's calls; dropped when queue_full.
  void message(Packet& p);
  // The I queue holds kIQueueLimit messages.
  bool queue_full() const { return i_q_.count() >= kIQueueLimit; }
  // A message now would wait in the I queue: the terminal is busy, its window full, or messages
  // wait before it.
  bool holds_back() const { return busy_ || ack_q_.count() == k || !i_q_.empty(); }
  // A frame from this terminal, address removed; response: its C/R bit.
  void receive(Packet& p, bool response);

  void PutHeader(std::ostream& os) const;
  // The network side ends: the lines of discarded and lost messages that the throttles left
  // out, with their counts.
  void flush_lines();

  State state() const { return state_; }
  unsigned char tei() const { return tei_; }
  void set_tei(unsigned char tei) { tei_ = tei; }
  bool is_checking() const { return checking_; }
  uint16_t ri() const { return ri_; }
  bool busy() const { return busy_; }
  unsigned unacknowledged() const { return ack_q_.count(); }
  unsigned queued() const { return i_q_.count(); }

 private:
  void on_I(unsigned ns, unsigned nr, bool p, Packet& info);
  void on_RR(unsigned nr, bool pf, bool command);
  void on_RNR(unsigned nr, bool pf, bool command);
  void on_REJ(unsigned nr, bool pf, bool command);
  // The terminal starts its link afresh: what waits in the I queue goes after the UA.
  void on_SABME(bool p);
  // The link starts afresh, numbered from 0: the frames the terminal has not acknowledged are
  // discarded, with a line (its layer 3 may have them, and learns of the restart from its own
  // link).
  void start_afresh();
  void on_DISC(bool p);
  // False: the N(R) was refused and the entry unassigned.
  bool ack_queue(unsigned nr);
  // A response with F = 1 after T200 ran out: what is still outstanding goes again, from N(R).
  void recover(bool command, bool pf);
  // False when no frame could be sent for want of a packet buffer (or none was outstanding).
  bool retransmit();
  void set_busy();
  void set_unbusy();
  // Sends what waits in the I queue while the window has room; then waits for the answer when
  // frames are outstanding, else idles.
  void serve();
  // False (logged) when no packet buffer could be had: nothing was sent.
  bool send_I(const Packet& message);
  // False (logged) when no packet buffer could be had.
  bool send_S(unsigned char type, bool command, bool pf);
  void send_U(unsigned char type, bool command, bool pf);
  void on_timer();
  void on_check_timer();
  void log(const char* text) const;

  bool checking_ = false;
  // The check responses within the current check.
  unsigned answers_ = 0;
  LAPD_NT* lapd_ = nullptr;
  Seq vr_, va_, vs_;
  unsigned char tei_ = 0;
  State state_ = unassigned;
  Timer link_timer_;
  Timer check_timer_;
  uint32_t rc_ = 0;
  bool busy_ = false;
  unsigned log_ = 0;
  CleanQueue<Packet, kIQueueLimit + k> i_q_;
  // I frames sent and not yet acknowledged, complete with their header.
  CleanQueue<Packet, k> ack_q_;
  uint16_t ri_ = 0;
  // The messages of a link that ended unacknowledged: still queued, and sent.
  struct Lost {
    unsigned queued = 0;
    unsigned sent = 0;
    Lost& operator+=(const Lost& more) {
      queued += more.queued;
      sent += more.sent;
      return *this;
    }
  };
  // The lines of messages discarded by restarts and lost when links end: those of a line the
  // throttle leaves out are counted by the next one written, or by the one flush_lines writes.
  // Each entry has lines of its own: a bus whose terminals all lose their links at once writes
  // one for each.
  CountingLine<unsigned> discarded_line_;
  CountingLine<Lost> lost_line_;
};

class LAPD_NT : public Protocol {
 public:
  static constexpr unsigned kUsers = 8;
  static constexpr unsigned check_period_ms = 60000;
  // How long after a TEI's removal its former holders' frames may still come: their answers to
  // a poll come within T200.
  static constexpr unsigned kRemovalMs = 2 * LAPD_NT_user::t200_ms;
  // A quarter of the pool: two terminals' full queues fit, and with every terminal's window
  // the bus leaves the other links and the control connection more than two thirds.
  static constexpr unsigned kBusShare = Packet_pool::capacity() / 4;
  // Half the pool for all buses together: however many stall, the other links and the control
  // connection keep the other half. Messages that would wait leave one bus's windows room in it.
  static constexpr unsigned kBusesShare = Packet_pool::capacity() / 2;
  static constexpr unsigned kWindowsRoom = kUsers * LAPD_NT_user::k;

  LAPD_NT();
  ~LAPD_NT() override;

  void local_prepare_head(Packet& p) override;
  void local_prepare_tail(Packet& p) override;
  void local_activate() override;
  void local_deactivate() override;
  // A layer-3 message from above: a SETUP to every terminal, any other message to the terminal
  // that holds its call. What refusal names is dropped, with a line.
  void message(Packet& p) override;
  // Why message() would drop this layer-3 message, or null when it sends it.
  const char* refusal(const unsigned char* message, unsigned length) const;
  // One D-channel frame from below.
  void receive(Packet& p) override;

  void set_log(unsigned level);
  void send_to_layer1(Packet& p) { transmit(p); }
  void send_to_layer3(Packet& p) { on_message(p); }
  // A frame of these octets, then `tail` when given, down to the channel; false (logged) when no
  // packet could be had.
  bool send_octets(std::initializer_list<unsigned char> head, const Packet* tail = nullptr);
  LAPD_NT_user* find_Tei(unsigned char tei);
  const LAPD_NT_user* find_Tei(unsigned char tei) const;
  LAPD_NT_user* find_free_Tei(unsigned char ai);
  void check_all_Tei();
  // TEI management message to the broadcast TEI: identity assigned 2, denied 3, check request 4,
  // remove 6.
  void send_tei(unsigned char type, uint16_t ri, unsigned char ai);
  void remove_tei(unsigned char tei);
  // A layer-3 message that terminal `tei` sent: the call it names is kept, or ended by its
  // RELEASE COMPLETE. Only calls that were set up are kept: the terminal's by its SETUP, the
  // network's by a broadcast SETUP.
  void note_call(unsigned char tei, const Packet& info);
  // The TEI was removed, found free by a check, or given to a terminal that asked for one: the
  // calls of its holder end. A link that ends leaves the terminal its TEI and its calls.
  void forget_calls(unsigned char tei) { calls_.forget(tei); }
  // The TEI was removed within the last kRemovalMs.
  bool just_removed(unsigned char tei) const;

  void PutHeader(std::ostream& os) const;
  unsigned log_level() const { return log_; }
  const LAPD_NT_user& user(unsigned i) const { return users_[i]; }
  const CallReferences& calls() const { return calls_; }
  // The packet buffers the terminals' links hold: queued messages and unacknowledged frames.
  unsigned held() const;
  // What held() gives, summed over every network side alive.
  static unsigned held_by_buses();
  // The lines of this side and its terminals' links that the far end or the owner can repeat;
  // the counts still owed are written when this side is destroyed.
  LogThrottles& logs() { return logs_; }

 private:
  // Where a layer-3 message from above goes: nowhere (refusal), every terminal, or terminal
  // `tei`, which is one of `holders` terminals holding the call, on entry `user` (kUsers when it
  // has none).
  struct Route {
    const char* refusal = nullptr;
    bool broadcast = false;
    Layer3Head head;
    CallOrigin origin = CallOrigin::kNetwork;
    unsigned char tei = 0;
    unsigned holders = 0;
    unsigned user = kUsers;
  };
  Route route(const unsigned char* message, unsigned length) const;
  void log_dropped_message(const Route& r);
  void log_ambiguity(const Route& r);
  // A call forgotten at the bound. Each line names the calls forgotten since the line before,
  // kNamedCalls of them at most, and counts the others.
  void log_forgotten(const CallReferences::Call& call);

  void on_tei_procedure(Packet& p);
  void on_check_response(uint16_t ri, unsigned char ai);
  // The check requests sent within the last check_ms, each of which every terminal answers.
  unsigned check_requests() const;

  Timer check_timer_;
  // The last TEIs removed, a ring with one record a TEI.
  struct Removal {
    unsigned char tei = 127;  // none: the group TEI is never removed
    uint32_t at_ms = 0;
  };
  static constexpr unsigned kRemovals = kUsers;
  Removal removals_[kRemovals];
  unsigned next_removal_ = 0;
  unsigned check_requests_ = 0;
  uint32_t check_sent_ms_ = 0;
  LAPD_NT_user users_[kUsers];
  unsigned log_ = 0;
  CallReferences calls_;
  static constexpr unsigned kNamedCalls = 8;
  CallReferences::Call forgotten_[kNamedCalls];
  // The calls forgotten since the last line; the first kNamedCalls are in forgotten_.
  unsigned forgotten_count_ = 0;
  LogThrottles logs_;
  // This side's node on the list of every network side alive.
  struct BusLink : Containers::CyclicList {
    explicit BusLink(const LAPD_NT* b) : bus(b) {}
    const LAPD_NT* bus;
  };
  BusLink bus_link_{this};
};

}  // namespace ISDN
