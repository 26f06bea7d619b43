// The files the daemon writes under fixed names (the PID file, the status dump): opened for
// writing, created or truncated, and never through a symbolic link. A link at such a name could
// point anywhere, and the daemon often runs as root, so it is refused rather than followed.
#pragma once

#include <string>

namespace WrittenFile {

// open(2) with O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, `flags` and mode 0644:
// the descriptor, or -1 with errno (ELOOP when `path` is a symbolic link).
int open(const std::string& path, int flags = 0);

// The reason for a log line when open() failed with `error`.
const char* failure(int error);

}  // namespace WrittenFile
