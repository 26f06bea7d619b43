// The path root: every fixed absolute path of the board (/dev/hal, /var/run/server.pid,
// /usr/local/etc/server.conf, ...) is built here, so that the daemon can run on a PC under a
// private tree. The root comes from $ORVEXD_ROOT; unset or empty means "/", as on the board.
#pragma once

#include <string>

namespace Path {

// The root in force: $ORVEXD_ROOT without trailing '/', or "" for the real root.
std::string root();

// The board path `path` (absolute, e.g. "/dev/hal") under the root.
std::string board(const std::string& path);

// Puts the working directory in front of a relative $ORVEXD_ROOT, so that the root stays where
// it is when the process changes directory (daemon mode goes to "/"). False, with errno, when
// the working directory cannot be read.
bool make_root_absolute();

// Whether the root names a directory: always for the real root; otherwise false, with errno
// (ENOTDIR when it names something else).
bool root_is_directory();

// Whether the folder of `path` (a path under the root: everything before its last '/') lies
// inside the root once every symbolic link on the way is followed. Folders not made yet count
// as inside, as nothing on the way can lead out of the part that exists. False, with errno
// EXDEV, when a folder on the way leads out of the root, or with the errno of a folder that
// cannot be resolved (a link to nowhere among them). Always true for the real root.
bool folder_inside_root(const std::string& path);

// Whether the folder open at `fd` lies inside the root as it is now, by the kernel's own name
// for the descriptor, not a path that could be resolved again to something else. False, with
// errno EXDEV, when it lies outside. Always true for the real root.
bool opened_inside_root(int fd);

// The folder of `path`, opened (O_PATH | O_DIRECTORY | O_CLOEXEC) when the folder the descriptor
// reached lies inside the root: the check is of the descriptor, so a folder on the way swapped
// for a link to elsewhere at any moment is caught, and whatever is done relative to the
// descriptor (openat, unlinkat, mkdirat) stays inside. `name` gets the last name of `path`, the
// one to give those calls. The descriptor, or -1 with errno as folder_inside_root gives it
// (EXDEV for a folder reached outside the root, also one not made yet beyond a link out), else
// the open's (ENOENT for a missing folder).
int open_folder_inside_root(const std::string& path, std::string& name);

}  // namespace Path
