// RtpFactory: the factory of plain RTP slots, for the create alternative `rtp` without `radio`
// (the radio factories take those with it). It sets the session up (rtp_setup.h), makes the
// RtpSlot and starts its RTCP; it reports the codec capacities of the voice codec driver.
#pragma once

#include <cstdint>
#include <ostream>

#include "slotbase/slot_factory.h"
#include "slots/media/rtp_capacity.h"

class RtpFactory : public SlotFactory {
 public:
  // The process's factory, built (and joined to the chain) on the first call.
  static RtpFactory& instance();

  RtpFactory();
  ~RtpFactory() override = default;

  const char* GetName() const override { return "RTP"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources& report) override;

  void IQuery() { capacity_.IQuery(); }
  void PutHeader(std::ostream& os) const override { capacity_.PutHeader(os); }
  const RtpCapacity& capacity() const { return capacity_; }

  // The payload type of a TERM::Payload on the wire: G.711 A-law 8, u-law 0, G.723 4, G.729 18,
  // G.711 on the multichannel controller A-law 136, u-law 128, G.728 15; 0 for any other.
  static uint16_t translateCodec(int payload);
  // The payload type of `override` when it is G.711 and differs from `codec`, else of `codec`.
  static uint16_t translateCodec(int codec, int override);

 private:
  RtpCapacity capacity_{"rtp", refusalLogs};
};
