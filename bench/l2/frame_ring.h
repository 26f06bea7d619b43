// FrameRing: the cheapest wire between two link-layer ends, the one that peer_bench puts under
// our links and the peers' alike. No event loop, no poll, no allocation: a frame written takes
// the next slot of an array; a pass hands each frame written before it to the other end, in
// order, and frames written meanwhile wait for the next pass.
//
// Each end pays only the copies its own interface makes: our end (Channel) places the Packet
// handle in the slot and the receiver gets that handle, as a channel hands over its buffer; a
// peer's write copies its octets into the slot (its buffer does not outlive the call), and its
// read callback copies them into the buffer it reads into. A Channel with `copies` set pays the
// peers' copies instead: its octets go into the slot, and what reaches it is copied into a fresh
// Packet.
#pragma once

#include <cstring>

#include "hw/hdlc.h"
#include "proto/packet.h"

class FrameRing {
 public:
  enum Side { kA = 0, kB = 1 };
  // Longer than an MSU of 273 octets with its header and the peers' two check octets.
  static constexpr unsigned kMaxFrame = 288;
  static constexpr unsigned kSlots = 512;

  // What an end does with a frame that reaches it.
  class Receiver {
   public:
    virtual ~Receiver() = default;
    virtual void on_frame(const unsigned char* octets, unsigned len) = 0;
    // A frame that our end placed; the receiver owns it.
    virtual void on_packet(Packet& frame);
  };

  // Our end: an HDLC channel on the ring that places each frame's handle in the ring and hands
  // the frames that reach it to its HDLC::Notify.
  class Channel : public GenericHDLC, public Receiver {
   public:
    Channel(FrameRing& ring, Side side) : ring_(ring), side_(side) {}
    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return true; }
    bool is_ready() const override { return ring_.room(); }
    void on_frame(const unsigned char* octets, unsigned len) override;
    void on_packet(Packet& frame) override;

    HDLC::Notify* notify = nullptr;
    // Copy each frame into the ring, as a peer's write does, instead of placing the handle.
    bool copies = false;

   private:
    friend class FrameRing;
    FrameRing& ring_;
    Side side_;
  };

  FrameRing() = default;
  FrameRing(const FrameRing&) = delete;
  FrameRing& operator=(const FrameRing&) = delete;

  // Each side's receiver; frames to a side without one are dropped.
  Receiver* receiver[2] = {nullptr, nullptr};
  // Frames written or placed by either end, and passes run, since the ring was made.
  unsigned long units = 0;
  unsigned long passes = 0;

  // Copies a frame from `from` into the ring; false when it is full or the frame too long.
  bool write(Side from, const unsigned char* octets, unsigned len) {
    if (!room() || len > kMaxFrame) return false;
    Slot& slot = filling_[filled_++];
    ++units;
    slot.to = from == kA ? kB : kA;
    slot.len = len;
    std::memcpy(slot.octets, octets, len);
    return true;
  }
  // Places a frame's handle from `from` in the ring; false when it is full.
  bool place(Side from, const Packet& frame) {
    if (!room()) return false;
    Slot& slot = filling_[filled_++];
    ++units;
    slot.to = from == kA ? kB : kA;
    slot.packet = frame;
    return true;
  }
  bool room() const { return filled_ < kSlots; }
  // No frame is waiting.
  bool idle() const { return filled_ == 0; }
  // Delivers the frames written before the pass; then each Channel that was refused a frame gets
  // on_hdlc_ready.
  void pass();
  // A Channel that was refused.
  void refused(Channel* channel) { refused_[channel->side_] = channel; }

 private:
  struct Slot {
    Side to;
    // A placed frame, or len octets.
    Packet packet;
    unsigned len;
    unsigned char octets[kMaxFrame];
  };

  Slot slots_[2][kSlots];
  Slot* filling_ = slots_[0];
  unsigned filled_ = 0;
  Channel* refused_[2] = {nullptr, nullptr};
};
