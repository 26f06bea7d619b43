// write_all: a whole buffer to a descriptor, going on after a short write or an EINTR.
#pragma once

#include <cstddef>

// True when all `size` bytes were written; false with errno at the first write that failed
// (EIO when one wrote nothing). What was written before stays written.
bool write_all(int fd, const char* data, size_t size);
