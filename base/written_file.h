// The files the daemon writes or removes under fixed names (the PID file, the status dump, the
// monitoring files), all under the path root, and nothing outside it:
// - a folder on the way that leads out of the root (a symbolic link to elsewhere) is refused,
//   also one swapped in meanwhile: each call works relative to a descriptor of the file's
//   folder, found inside the root once opened;
// - a symbolic link at the file's own name is refused rather than followed: it could point
//   anywhere, and the daemon often runs as root;
// - a file with other hard links is refused before a byte of it changes: the other names may lie
//   outside the root;
// - anything but a regular file is refused; a FIFO is opened without waiting for a reader, so
//   that it never holds the loop.
#pragma once

#include <sys/types.h>

#include <string>

namespace WrittenFile {

// The file at `path`, opened for writing (O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK |
// O_CLOEXEC, `flags` and mode 0644) and truncated once it passed the checks above: the
// descriptor, or -1 with errno (EXDEV when a folder on the way leads out of the root, ELOOP for
// a symbolic link, EMLINK for a file with other links, EISDIR for a folder, ENXIO for anything
// else that is not a regular file).
int open(const std::string& path, int flags = 0);

// Removes `path` as remove(3) does (a file, a link or an empty folder) once its folder passed
// the check: false with errno.
bool remove(const std::string& path);

// mkdir(2) of `path` with `mode` once the folder that holds it passed the check: false with
// errno.
bool make_folder(const std::string& path, mode_t mode);

// The reason for a log line when one of these failed with `error`.
const char* failure(int error);

}  // namespace WrittenFile
