// The factories of radio RTP slots, for the create alternative `rtp` whose RTP parameters carry
// `radio`: RtpED137Factory takes a radio status of the ed-137 alternative, RtpLEMZFactory one of
// the lemz alternative. Both set the RTP session up as RtpFactory does (rtp_setup.h), with these
// differences: the RTCP socket is bound without SO_REUSEADDR, the channel record's fourth word
// says whether BSS is on, and the slot gets a radio controller and the voice-processing
// settings of the radio request. Both report the codec capacities as RtpFactory does.
#pragma once

#include <ostream>

#include "slotbase/slot_factory.h"
#include "slots/media/rtp_capacity.h"

class RtpSetup;

namespace TERM {
class RtpRadioRequest;
}

// What both radio factories share: the capacities, the log header and the session set-up.
class RtpRadioFactory : public SlotFactory {
 public:
  void Query(LGCP::Resources& report) override;
  void PutHeader(std::ostream& os) const override { capacity_.PutHeader(os); }

 protected:
  explicit RtpRadioFactory(const char* name);

  // Whether every value of the radio request fits its field; else logged, and the create is
  // answered invalidParams.
  bool Carries(const TERM::RtpRadioRequest& radio);
  // The session set-up steps in order; false after the failing step logged why.
  bool SetUp(RtpSetup& setup, const TERM::RtpRadioRequest& radio);
  // The RTCP and echo settings and the voice-processing settings of the new slot.
  void Finish(class RtpExtSlot& slot, RtpSetup& setup, const TERM::RtpRadioRequest& radio);

  RtpCapacity capacity_;
};

class RtpED137Factory : public RtpRadioFactory {
 public:
  static RtpED137Factory& instance();
  RtpED137Factory() : RtpRadioFactory("rtp ext ED137") {}
  const char* GetName() const override { return "RTP Ext ED137"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
};

class RtpLEMZFactory : public RtpRadioFactory {
 public:
  static RtpLEMZFactory& instance();
  RtpLEMZFactory() : RtpRadioFactory("rtp ext LEMZ") {}
  const char* GetName() const override { return "RTP Ext LEMZ"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
};
