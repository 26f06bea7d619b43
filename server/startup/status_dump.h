// The status dump, "/var/log/server-status" under the path root, rewritten from scratch on each
// request (SIGUSR2): a banner line, the version, the count of syslog records dropped, the count
// of packet buffers given back while they were free already, then the event loop's state
// (callback measures, profiling points and the table of polled events).
#pragma once

#include <iosfwd>

// The dump's text.
void WriteStatus(std::ostream& os);
// Rewrites the file; false when it cannot be opened or written, after a line "dump status
// error: " with the file's path and the reason on std::cerr.
bool DumpStatus();
