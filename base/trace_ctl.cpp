#include "base/trace_ctl.h"

#include <iostream>

#include "base/ini_reader.h"

TraceCtl traces;

void TraceCtl::Configure(IniFile::Section& section) {
  if (section.mLast) Configure(*section.mLast);
}

void TraceCtl::Configure(IniFile::SubSection& sub) {
  IniFile::Reader reader("traces: ", std::cerr);
  *this = TraceCtl();
  reader.optional.add(&signallingHdlc, "signalling.hdlc", nullptr);
  reader.optional.add(&signallingLemzgw, "signalling.lemzgw", nullptr);
  reader.optional.add(&signallingEvents, "signalling.events", nullptr);
  reader.optional.add(&monitoringInternal, "monitoring.internal", nullptr);
  reader.parse(sub);
}
