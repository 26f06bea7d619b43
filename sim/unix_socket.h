// One-message sends on the simulator's UNIX sockets.
#pragma once

#include <cstddef>
#include <string>

#include "sim/unique_fd.h"

// Sends `size` bytes as one message without blocking, and without SIGPIPE; `passed`, when not
// negative, goes along by SCM_RIGHTS. Returns send's result (-1 with errno).
long send_message(int fd, const void* data, size_t size, int passed = -1);

// Sets O_NONBLOCK; false on failure.
bool set_nonblocking(int fd);

// A non-blocking, close-on-exec UNIX socket of `type` bound to `path`, replacing a stale socket
// file there; an empty one with errno on failure (the path then left free).
UniqueFd bound_socket(const std::string& path, int type);
