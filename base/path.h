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

}  // namespace Path
