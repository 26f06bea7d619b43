// IsdnFactory: makes the ISDN D-channel slots (create alternative isdn, on a channel of the
// multichannel HDLC controller), the QSIG D-channel slots (ats-qsig, on /dev/dsp-data) and
// their bearer-channel slots (ats-qsig-b). Log header "mcc/isdn: ".
#pragma once

#include "slotbase/slot_factory.h"

class IsdnFactory : public SlotFactory {
 public:
  static IsdnFactory& instance();

  const char* GetName() const override { return "ISDN"; }
  // Null, with a line on std::cerr, for a create it cannot serve: an isdn trunk that is not a
  // line of the board of its type (a basic-rate line, or an E1 trunk for pri), counted from 1,
  // or a refusal of the device, the switch channel of the D channel included; at most one line
  // a second of each failure.
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  void PutHeader(std::ostream& os) const override { os << "mcc/isdn: "; }

  // The slot of this factory numbered `number`, or null.
  Slot* FindSlot(unsigned number) const;

 private:
  Slot* NewIsdnSlot(const LGCP::IsdnParams& params);
  Slot* NewAtsQsigSlot(const LGCP::AtsQsigParams& params);
  Slot* NewAtsQsigBSlot(const LGCP::AtsQsigBParams& params);
  // Logs the failure `what` with strerror of the current errno, throttled per `what`.
  void LogFailure(const char* what);
  // Whether `channel`, a driver's answer to the request for a D channel's switch channel, is one.
  // A refusal is logged as `what`: such a channel could never be connected to a line, so the
  // create gives it back (its descriptor closed) and holds nothing.
  bool Switchable(int channel, const char* what);
};
