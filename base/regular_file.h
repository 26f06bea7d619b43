// Opening a file that the daemon reads (its configuration, the board's version, temperature and
// driver status files) so that nothing at its name can hold the loop: opened non-blocking, a
// FIFO never waits for a writer, and anything but a regular file is refused before it is read.
#pragma once

#include <string>

namespace RegularFile {

// open(2) of `path` with O_RDONLY | O_NONBLOCK | O_CLOEXEC: the descriptor of a regular file, or
// -1 with errno (EISDIR for a folder, EINVAL for anything else that is not a regular file).
int open(const std::string& path);

}  // namespace RegularFile
