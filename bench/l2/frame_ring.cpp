#include "bench/l2/frame_ring.h"

void FrameRing::Receiver::on_packet(Packet& frame) {
  const Packet& octets = frame;
  on_frame(octets->data, octets.length());
}

bool FrameRing::Channel::hdlc_transmit(Packet& frame) {
  const Packet& octets = frame;
  if (copies ? ring_.write(side_, octets->data, octets.length()) : ring_.place(side_, frame))
    return true;
  ring_.refused(this);
  return false;
}

void FrameRing::Channel::on_frame(const unsigned char* octets, unsigned len) {
  if (!notify) return;
  Packet frame;
  frame.reserve_head(0);
  std::memcpy(frame.put(len), octets, len);
  notify->on_hdlc_receive(frame);
}

void FrameRing::Channel::on_packet(Packet& frame) {
  if (notify) notify->on_hdlc_receive(frame);
}

void FrameRing::pass() {
  ++passes;
  Slot* delivering = filling_;
  const unsigned count = filled_;
  filling_ = delivering == slots_[0] ? slots_[1] : slots_[0];
  filled_ = 0;
  for (unsigned i = 0; i < count; ++i) {
    Slot& slot = delivering[i];
    Receiver* to = receiver[slot.to];
    if (slot.packet) {
      Packet frame = std::move(slot.packet);
      if (to) to->on_packet(frame);
    } else if (to) {
      to->on_frame(slot.octets, slot.len);
    }
  }
  for (Channel*& channel : refused_) {
    if (!channel || !room()) continue;
    Channel* ready = channel;
    channel = nullptr;
    if (ready->notify) ready->notify->on_hdlc_ready();
  }
}
