// MccSlot: a raw data channel, one channel of the multichannel HDLC controller (/dev/mcc/ctl)
// handed to the controller as it is. Every frame the channel receives goes up as one userData
// signal; every userData command goes down as one frame. The channel has a TDM switch channel
// of its own, on which the slot is connected like any channel slot; the switch outputs that
// still carry it are idled when the slot gives the channel back.
#pragma once

#include <cstddef>
#include <vector>

#include "base/event.h"
#include "base/fd.h"
#include "slotbase/slot.h"

class MccSlot : public Slot {
 public:
  // The largest frame a raw data slot reads whole: a slot at the far end of the line reads
  // each frame into a buffer of this size, so a longer frame would arrive cut.
  static constexpr size_t kMaxFrame = 1024;

  // Takes over `fd`, a channel already allocated, whose switch channel is `channel`.
  MccSlot(Fd fd, int channel);
  ~MccSlot() override;

  // One write of all bytes; false, with a line on std::cerr, when it fails or falls short, and
  // without a write for more than kMaxFrame bytes.
  bool IUserData(const std::vector<char>& data) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel; }
  int IGetReceiveChannel() override { return channel; }
  const char* GetName() const override { return "MCC"; }

  // The loop's callback on the channel ("MccSlot::OnEvent").
  void OnEvent(int fd, short events);
  // Sends every frame waiting on the channel up, one userData signal each.
  void DoRead();

  // The switch channel of the driver's channel.
  const int channel;
  Event event;
};
