// The files the daemon writes under fixed names (the PID file, the status dump): opened for
// writing, created or truncated, and never through a symbolic link. A link at such a name could
// point anywhere, and the daemon often runs as root, so it is refused rather than followed. A
// FIFO there is opened without waiting for a reader (refused, ENXIO, when it has none), so that
// it never holds the loop.
#pragma once

#include <string>

namespace WrittenFile {

// open(2) with O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, `flags` and
// mode 0644: the descriptor, or -1 with errno (ELOOP when `path` is a symbolic link, ENXIO when
// it is a FIFO that nobody reads).
int open(const std::string& path, int flags = 0);

// The reason for a log line when open() failed with `error`.
const char* failure(int error);

}  // namespace WrittenFile
