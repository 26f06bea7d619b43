// The simulator's UNIX socket helpers: listening sockets in the tree, and one-message sends.
#pragma once

#include <string>

#include "sim/unique_fd.h"

// A non-blocking, close-on-exec socket of `type` (SOCK_STREAM or SOCK_SEQPACKET) listening at
// `path`; a stale socket file there is replaced. Invalid (with errno) on failure.
UniqueFd listen_at(const std::string& path, int type);

// Accepts one connection, non-blocking and close-on-exec; invalid when none is waiting.
UniqueFd accept_from(int listener);

// Sends `size` bytes as one message without blocking, and without SIGPIPE; `passed`, when not
// negative, goes along by SCM_RIGHTS. Returns send's result (-1 with errno).
long send_message(int fd, const void* data, size_t size, int passed = -1);

// Sets O_NONBLOCK; false on failure.
bool set_nonblocking(int fd);
