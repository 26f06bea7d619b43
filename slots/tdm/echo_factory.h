// EchoFactory: answers the creates of echo-canceller channels (alternative echo) and reports the
// echo buses present. No bus is ever found present, so every echo create is refused and the
// report's echoBus stays empty.
#pragma once

#include "slotbase/slot_factory.h"

class EchoFactory : public SlotFactory {
 public:
  static constexpr unsigned kBuses = 16;

  static EchoFactory& instance();

  const char* GetName() const override { return "Echo"; }
  void PutHeader(std::ostream& os) const override { os << "echo: "; }
  // Null for every bus not present (logged at most once a second).
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  // Appends the buses present to echoBus.
  void Query(LGCP::Resources& report) override;
  // Clears every bus's presence.
  void Scan();

 private:
  EchoFactory() { Scan(); }

  bool present[kBuses];
};
