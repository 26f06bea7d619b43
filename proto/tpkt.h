// Tpkt_protocol: TPKT framing (RFC 1006 section 6) over a byte stream.
//
// Frame: 0x03 (version), 0x00 (reserved), a 16-bit big-endian length that counts the 4 header
// bytes, then 0 to 65531 payload bytes.
//
// Going down, message() pushes the header into the head room that prepare_head reserved and
// transmits the frame. Going up, receive() reassembles frames from whatever pieces the stream
// layer delivers and hands each payload up as one packet. Bytes that cannot start a frame are
// skipped, with one log line per run of them that gives its length (written when the next frame
// starts, or when the layer stops or the stream below ends); a frame still incomplete 3000 ms
// after its last piece is dropped.
// Neither ends the connection: the layer resynchronises on the stream by itself.
#pragma once

#include <cstdint>

#include "base/timer.h"
#include "proto/protocol.h"

class Tpkt_protocol : public Protocol {
 public:
  enum State { idle, wait_r, len_1, len_2, body, ignore };

  static constexpr unsigned header_size = 4;
  static constexpr unsigned max_payload = 0xFFFF - header_size;
  static constexpr unsigned reassembly_timeout_ms = 3000;

  Tpkt_protocol() = default;
  ~Tpkt_protocol() override;

  const Protocol_name& name() const override { return name_; }
  // Reserves the 4 header bytes.
  void local_prepare_head(Packet& p) override;
  void local_prepare_tail(Packet& p) override;
  // Starts reassembly afresh. The walk of activation ends here: the owner is not told.
  void local_activate() override;
  // Drops any partial frame and lets the layers below stop.
  void local_deactivate() override;
  // The stream below ended: a run of stray bytes it brought is logged before the news goes up.
  void on_deactivate(Protocol_status status) override;
  // Frames p and transmits it. A payload above max_payload does not fit the length field: it is
  // refused with an error line and nothing is sent.
  void message(Packet& p) override;
  // Consumes every byte of p and hands up each frame it completes, in order.
  void receive(Packet& p) override;

  // Stops the timer, drops the partial frame, waits for a frame start.
  void reset();
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
  // Hands the completed frame up; the owner takes it.
  void deliver();
  // Logs the run of stray bytes skipped so far, if any, and starts counting afresh.
  void report_skipped();

  Protocol_name_str name_{"TPKT"};
  // The length field while the header is read, then the payload bytes still expected.
  uint32_t count_ = 0;
  // Stray bytes skipped since the last frame start.
  unsigned long skipped_ = 0;
  Timer timer_;
  State state_ = idle;
  Packet body_;
  // Bumped by reset() and by destruction, so that receive() notices when a frame it handed up
  // made the owner stop or delete the stack.
  unsigned epoch_ = 0;
  bool* alive_ = nullptr;
};
