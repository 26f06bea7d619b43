// HdlcWire: two HDLC channel ends joined back to back in the process, for link-layer tests and
// benchmarks. Each end is a GenericHDLC that a protocol sends through; what it sends reaches the
// other end's HDLC::Notify on a later loop turn, never inside hdlc_transmit.
//
// Frames in flight wait in one queue in the order they were sent. Each loop turn delivers the
// frames that were waiting when the turn polled, so a frame sent from a receive callback goes one
// turn later and an exchange moves one hop per turn. An end holds at most `capacity` undelivered
// frames: a frame beyond that is refused, and once a turn has made room the end's owner gets one
// on_hdlc_ready.
//
// Faults act on delivery: a frame can be lost or delivered twice (the next frames of one end, or
// any frame a rule picks), and a test can inject a frame that neither end sent.
//
// Everything that happens goes to `trace`, one line each, prefixed with the loop clock in ms
// since the wire was made; frames in hex, or as `describe` writes them:
//   "0 A>B 00 01 7F"        delivered to B        "0 A>B lost 00 01 7F"  lost on the way
//   "0 A>B dup 00 01 7F"    the second delivery    "0 *>B 02 01 7F"       injected
//   "0 A full"              A's frame refused      "0 A ready"            A told it may send again
//   "0 A refused"           refused by `refuse`
// Every delivered frame also goes to the capture file, if one is open: text that text2pcap reads
// (-D -t %s.%f -l LINKTYPE), with each frame's direction as seen from the end named the user
// side (for LAPD, outbound is user to network).
//
// The wire polls a descriptor of its own (writable while frames wait) for as long as it lives, so
// a loop with nothing else registered never takes itself for hung; a fixture destroys the wire
// before the loop is checked for leftovers (LoopTest::TearDown).
#pragma once

#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/event.h"
#include "hw/hdlc.h"
#include "proto/packet.h"
#include "tests/support/stream_capture.h"

class HdlcWire {
 public:
  enum Side { kA = 0, kB = 1 };
  enum class Fault { kNone, kLose, kDuplicate };
  // pcap link types of the capture.
  static constexpr int kLinkLapd = 203;
  static constexpr int kLinkMtp2 = 140;

  class End : public GenericHDLC {
   public:
    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return true; }
    bool is_ready() const override;

    // The protocol above this end; frames to an end without one are traced and dropped.
    HDLC::Notify* notify = nullptr;
    // The octets of every frame the wire took from this end, in order, kept while tracing.
    std::vector<std::string> sent;
    // Frames to refuse before taking one again, as a channel busy for a while; no on_hdlc_ready
    // follows these.
    unsigned refuse = 0;

   private:
    friend class HdlcWire;
    HdlcWire* wire_ = nullptr;
    Side side_ = kA;
    unsigned in_flight_ = 0;
    bool refused_ = false;
  };

  explicit HdlcWire(unsigned capacity = 8);
  HdlcWire(const HdlcWire&) = delete;
  HdlcWire& operator=(const HdlcWire&) = delete;

  End& end(Side side) { return ends_[side]; }
  End& a() { return ends_[kA]; }
  End& b() { return ends_[kB]; }

  // The next `count` frames that `from` sends get `fault`.
  void fault_next(Side from, Fault fault, unsigned count = 1);
  // Asked for every other frame sent (not injected ones); e.g. a loss rate for a benchmark.
  std::function<Fault(Side from, const Packet& frame)> rule;
  // `frame` arrives at `to` on the next loop turn, as if the other end had sent it.
  void inject(Side to, const Packet& frame);

  // Writes every delivered frame to `path` from now on; false when it cannot be created.
  bool capture(const std::string& path, int link_type = kLinkLapd, Side user = kA);
  // Adds a line of the test's own (a primitive, a state) to the trace, with the time.
  void note(const std::string& text);
  // No frame is waiting.
  bool idle() const { return queue_.empty(); }

  // How frames read in the trace (a protocol's decoder, say); their hex text when unset.
  std::function<std::string(const Packet& frame)> describe;

  // Off for long runs such as benchmarks.
  bool tracing = true;
  Lines trace;
  const unsigned capacity;

 private:
  struct Frame {
    Side from;
    bool injected;
    Packet bytes;
  };

  bool send(End& end, Packet& frame);
  void on_event(int fd, short revents);
  // The last delivery of a frame gives the receiver the wire's own handle.
  void deliver(Frame& frame, const char* mark, bool last);
  Fault fault_of(const Frame& frame);
  // "A>B", "B>A", or "*>B" for an injected frame.
  static std::string path(const Frame& frame);
  std::string text(const Packet& frame) const;

  End ends_[2];
  std::deque<Frame> queue_;
  std::deque<Fault> next_faults_[2];
  Event event_;
  uint32_t start_ms_;
  std::ofstream capture_;
  Side user_ = kA;
};

// The frame whose bytes are written in hex, blanks allowed: "00 01 7f".
Packet hex_frame(const std::string& hex);

// tshark is installed, with text2pcap.
bool have_tshark();
// tshark's output for a text capture of `link_type` (converted with text2pcap), run with `args`
// (for example "-T fields -e lapd.control"), one line each; empty when either tool fails.
Lines tshark_read(const std::string& capture, int link_type, const std::string& args);
