// TraceCtl: the process-wide trace switches, one instance `traces`. Each switch adds detail to
// the log lines of one part of the daemon; readers test it before writing their extra lines.
// The switches are set from the section "traces" of the configuration file.
#pragma once

#include "base/ini_file.h"

class TraceCtl {
 public:
  TraceCtl() = default;

  // Applies the last occurrence of the section, which replaces the others whole; those are left
  // unread, so that IniFile::ReportIgnored names them.
  void Configure(IniFile::Section& section);
  // Applies one occurrence: every switch off, then the keys present (problems reported on
  // std::cerr, prefixed "traces: ").
  void Configure(IniFile::SubSection& sub);

  bool signallingHdlc = false;      // "signalling.hdlc"
  bool signallingLemzgw = false;    // "signalling.lemzgw"
  bool signallingEvents = false;    // "signalling.events"
  bool monitoringInternal = false;  // "monitoring.internal"
};

extern TraceCtl traces;
