#include "server/startup/signal_checks.h"

#include <iostream>

#include "server/startup/signals.h"
#include "slotbase/slots.h"
#include "server/startup/status_dump.h"

void CheckSignals() {
  CheckDumpStatus();
  CheckUpdateResources();
}

void CheckDumpStatus() {
  if (!Signals::doDumpStatus) return;
  Signals::doDumpStatus = 0;
  DumpStatus();
}

void CheckUpdateResources() {
  if (!Signals::updateResources) return;
  Signals::updateResources = 0;
  std::clog << "update hardware resources" << std::endl;
  Slots::instance().UpdateHardwareResources();
}
