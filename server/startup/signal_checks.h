// The loop's side of the signals: a deferred call runs CheckSignals twice in every turn, so the
// work a signal asks for runs inside the loop. A signal that comes twice before a check gives
// one dump or one report.
#pragma once

// CheckDumpStatus, then CheckUpdateResources.
void CheckSignals();
// The status dump, when SIGUSR2 asked for one. The flag is cleared first, so a dump that could
// not be written is tried again at the next SIGUSR2.
void CheckDumpStatus();
// When SIGHUP asked for it: "update hardware resources" on std::clog, then the resource report
// to the controller.
void CheckUpdateResources();
