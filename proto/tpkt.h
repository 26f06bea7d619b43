// Tpkt_protocol: TPKT framing (RFC 1006 section 6) over a byte stream.
//
// Frame: 0x03 (version), 0x00 (reserved), a 16-bit big-endian length that counts the 4 header
// bytes, then 0 to 65531 payload bytes.
//
// Going down, message() pushes the header into the head room that prepare_head reserved and
// transmits the frame. Going up, receive() reassembles frames from whatever pieces the stream
// layer delivers and hands each payload up as one packet, at most max_frames_per_turn frames in
// one turn of the event loop: the bytes behind them wait in the layer, input below is held, and
// a deferred call goes on with them in the next turns, so that timers and the watchdog keep
// running under a flood of frames. Every frame is still handed up once, in order.
//
// Bytes that cannot start a frame are skipped, with one log line per run of them that gives its
// length (written when the next frame starts, or when the layer stops or the stream below
// ends); a frame still incomplete 3000 ms after its last piece is dropped. Neither ends the
// connection: the layer resynchronises on the stream by itself. The lines that a peer can
// repeat at will come at most once per second each, with the count of those left out; a left
// out run of stray bytes is added to the next run's line, so its byte count stays the total,
// and whatever was left out is written when the layer stops.
#pragma once

#include <cstdint>
#include <deque>
#include <iostream>

#include "base/dpc.h"
#include "base/throttled_line.h"
#include "base/timer.h"
#include "proto/protocol.h"

class Tpkt_protocol : public Protocol {
 public:
  enum State { idle, wait_r, len_1, len_2, body, ignore };

  static constexpr unsigned header_size = 4;
  static constexpr unsigned max_payload = 0xFFFF - header_size;
  static constexpr unsigned reassembly_timeout_ms = 3000;
  static constexpr unsigned max_frames_per_turn = 64;

  Tpkt_protocol();
  ~Tpkt_protocol() override;

  const Protocol_name& name() const override { return name_; }
  // Reserves the 4 header bytes.
  void local_prepare_head(Packet& p) override;
  void local_prepare_tail(Packet& p) override;
  // Starts reassembly afresh. The walk of activation ends here: the owner is not told.
  void local_activate() override;
  // Drops any partial frame and lets the layers below stop.
  void local_deactivate() override;
  // The stream below ended: the bytes waiting are dropped and a run of stray bytes it brought is
  // logged before the news goes up.
  void on_deactivate(Protocol_status status) override;
  // Frames p and transmits it. A payload above max_payload does not fit the length field: it is
  // refused with an error line and nothing is sent.
  void message(Packet& p) override;
  // Consumes the bytes of p and hands up each frame it completes, in order; what the frame
  // budget of this turn leaves waits for the next turns.
  void receive(Packet& p) override;

  // Stops the timer, drops the partial frame and the bytes waiting, waits for a frame start.
  void reset();
  // Bytes received and not yet consumed.
  unsigned waiting() const;
  void next_state(State s) { state_ = s; }
  State state() const { return state_; }
  void on_timeout(Timer* t);

 private:
  void receive_idle(Packet& p);
  void receive_wait_r(Packet& p);
  void receive_len_1(Packet& p);
  void receive_len_2(Packet& p);
  void receive_body(Packet& p);
  void receive_ignore(Packet& p);
  // Consumes bytes of p while this turn's frame budget lasts. False when a frame handed up made
  // the owner stop the layer or delete it: nothing of this layer may be touched then.
  bool consume(Packet& p);
  // Room for another frame in this turn.
  bool budget_left();
  // Keeps the bytes p still holds for the next turn.
  void wait(Packet& p);
  // The deferred call: goes on with the bytes waiting.
  void resume();
  // Arms the reassembly timer while a frame is incomplete.
  void arm_timer();
  // Hands the completed frame up; the owner takes it.
  void deliver();
  // A run of stray bytes has ended: logs it, or keeps it for the next line.
  void report_skipped();
  // The layer stops: ends the run in progress and writes whatever the throttled lines owe.
  void flush_log();

  Protocol_name_str name_{"TPKT"};
  // The length field while the header is read, then the payload bytes still expected.
  uint32_t count_ = 0;
  // Stray bytes skipped since the last frame start.
  unsigned long skipped_ = 0;
  // A line per run, carrying the stray bytes of the runs whose lines were left out.
  CountingLine<unsigned long> skipped_log_{std::clog, [this](std::ostream& os,
                                                             unsigned long skipped) {
    os << name().name() << " bad TPKT packet start: " << skipped
       << (skipped == 1 ? " byte" : " bytes") << " skipped.";
  }};
  ThrottledLine reserved_log_{
      std::clog, [this](std::ostream& os) { os << name().name() << " bad TPKT reserved."; }};
  // The length of the last frame refused as too small.
  unsigned last_small_ = 0;
  ThrottledLine small_log_{std::clog,
                           [this](std::ostream& os) { os << "TPKT too small " << last_small_; }};
  // Bytes received behind the last frame of a turn, oldest first.
  std::deque<Packet> waiting_;
  Dpc resume_;
  // The loop turn the frame count belongs to.
  uint32_t turn_ = 0;
  unsigned frames_in_turn_ = 0;
  bool holding_ = false;
  Timer timer_;
  State state_ = idle;
  Packet body_;
  // Bumped by reset() and by destruction, so that receive() notices when a frame it handed up
  // made the owner stop or delete the stack.
  unsigned epoch_ = 0;
  bool* alive_ = nullptr;
};
