#include "proto/tpkt.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "base/multiplexer.h"
#include "base/profile.h"

Tpkt_protocol::Tpkt_protocol() { resume_.Bind(this, &Tpkt_protocol::resume); }

Tpkt_protocol::~Tpkt_protocol() {
  if (alive_) *alive_ = false;
  flush_log();
}

void Tpkt_protocol::local_prepare_head(Packet& p) { p.reserve_head(header_size); }

void Tpkt_protocol::local_prepare_tail(Packet& p) { p.reserve_tail(0); }

void Tpkt_protocol::local_activate() { reset(); }

void Tpkt_protocol::local_deactivate() {
  reset();
  on_deactivate(make_status<Protocol_status_success>(this, "TPKT deactivated"));
}

void Tpkt_protocol::on_deactivate(Protocol_status status) {
  // The stream below has ended: the frames still waiting have no one to answer.
  reset();
  Protocol::on_deactivate(status);
}

void Tpkt_protocol::reset() {
  flush_log();
  timer_.reset();
  body_.reset();
  waiting_.clear();
  resume_.Deactivate();
  if (holding_) {
    holding_ = false;
    hold_input(false);
  }
  next_state(idle);
  ++epoch_;
}

unsigned Tpkt_protocol::waiting() const {
  unsigned n = 0;
  for (const Packet& p : waiting_) n += p.length();
  return n;
}

void Tpkt_protocol::message(Packet& p) {
  static Profile::Point point("Tpkt_protocol::message");
  point.begin();
  unsigned n = p.length();
  if (n > max_payload) {
    point.end();
    std::cerr << name().name() << " message too long: " << n << " bytes, max " << max_payload
              << std::endl;
    return;
  }
  p.push16_b(static_cast<unsigned short>(n + header_size));
  p.push8(0x00);
  p.push8(0x03);
  point.end();
  transmit(p);
}

void Tpkt_protocol::receive(Packet& p) {
  if (!waiting_.empty()) {
    // Behind the bytes that already wait, in the room of the last packet when it has enough, so
    // that a layer below that goes on handing up small pieces does not drain the packet pool.
    const unsigned n = p.length();
    Packet& last = waiting_.back();
    if (n > 0 && last._tailroom() >= n)
      std::memcpy(last.put(n), p.pull(n), n);
    else if (n > 0)
      waiting_.push_back(std::move(p));
    return;
  }
  if (!consume(p)) return;
  if (p.length() > 0)
    wait(p);
  else
    arm_timer();
}

bool Tpkt_protocol::consume(Packet& p) {
  bool alive = true;
  bool* outer = alive_;
  alive_ = &alive;
  const unsigned epoch = epoch_;
  while (p.length() > 0 && budget_left()) {
    switch (state_) {
      case idle: receive_idle(p); break;
      case wait_r: receive_wait_r(p); break;
      case len_1: receive_len_1(p); break;
      case len_2: receive_len_2(p); break;
      case body: receive_body(p); break;
      case ignore: receive_ignore(p); break;
    }
    // A frame handed up may have made the owner delete or stop the stack; the rest of this
    // read then belongs to a connection that no longer exists.
    if (!alive) {
      if (outer) *outer = false;
      return false;
    }
    if (epoch_ != epoch) break;
  }
  alive_ = outer;
  return epoch_ == epoch;
}

bool Tpkt_protocol::budget_left() {
  const uint32_t turn = multiplexer.turn();
  if (turn != turn_) {
    turn_ = turn;
    frames_in_turn_ = 0;
  }
  return frames_in_turn_ < max_frames_per_turn;
}

void Tpkt_protocol::wait(Packet& p) {
  waiting_.push_back(std::move(p));
  timer_.reset();
  resume_.Activate();
  multiplexer.stay_awake();
  if (!holding_) {
    holding_ = true;
    hold_input(true);
  }
}

void Tpkt_protocol::resume() {
  while (!waiting_.empty()) {
    if (!budget_left()) {
      multiplexer.stay_awake();
      return;
    }
    Packet p = std::move(waiting_.front());
    waiting_.pop_front();
    if (!consume(p)) return;
    if (p.length() > 0) {
      waiting_.push_front(std::move(p));
      multiplexer.stay_awake();
      return;
    }
  }
  resume_.Deactivate();
  if (holding_) {
    holding_ = false;
    hold_input(false);
  }
  arm_timer();
}

void Tpkt_protocol::arm_timer() {
  if (state_ == idle)
    timer_.reset();
  else
    timer_.set(reassembly_timeout_ms, &Tpkt_protocol::on_timeout, this);
}

void Tpkt_protocol::receive_idle(Packet& p) {
  // Stray bytes are skipped up to the next possible frame start and counted; the run gets one
  // line when it ends, however many reads it spans.
  const unsigned n = p.length();
  const void* start = std::memchr(p->data, 0x03, n);
  const unsigned stray = start ? unsigned(static_cast<const unsigned char*>(start) - p->data) : n;
  p.pull(stray);
  skipped_ += stray;
  if (!start) return;
  p.pull8();
  report_skipped();
  next_state(wait_r);
}

void Tpkt_protocol::report_skipped() {
  if (skipped_ == 0) return;
  skipped_log_.report(skipped_);
  skipped_ = 0;
}

void Tpkt_protocol::flush_log() {
  // The run in progress ends here.
  report_skipped();
  skipped_log_.flush();
  reserved_log_.flush();
  small_log_.flush();
}

void Tpkt_protocol::receive_wait_r(Packet& p) {
  if (p.pull8() == 0x00) {
    next_state(len_1);
    return;
  }
  reserved_log_.report();
  next_state(idle);
}

void Tpkt_protocol::receive_len_1(Packet& p) {
  count_ = p.pull8();
  next_state(len_2);
}

void Tpkt_protocol::receive_len_2(Packet& p) {
  count_ = count_ << 8 | p.pull8();
  if (count_ < header_size) {
    last_small_ = count_;
    small_log_.report();
    next_state(idle);
    return;
  }
  count_ -= header_size;
  body_.reset();
  body_.reserve_head(0);
  if (count_ > body_._tailroom()) {
    std::clog << "TPKT length too big, received = " << count_ << " max = " << body_._tailroom()
              << std::endl;
    body_.reset();
    next_state(ignore);
    return;
  }
  // An empty frame is complete with its header.
  if (count_ == 0)
    deliver();
  else
    next_state(body);
}

void Tpkt_protocol::receive_body(Packet& p) {
  unsigned n = std::min(count_, p.length());
  std::memcpy(body_.put(n), p.pull(n), n);
  count_ -= n;
  if (count_ == 0) deliver();
}

void Tpkt_protocol::receive_ignore(Packet& p) {
  unsigned n = std::min(count_, p.length());
  p.pull(n);
  count_ -= n;
  if (count_ == 0) next_state(idle);
}

void Tpkt_protocol::deliver() {
  ++frames_in_turn_;
  Packet frame = std::move(body_);
  next_state(idle);
  on_message(frame);
}

void Tpkt_protocol::on_timeout(Timer*) {
  std::clog << " TPKT packet timeout." << std::endl;
  reset();
}
