// Random bytes for names and marks that must not repeat, drawn without waiting.
#pragma once

#include <cstddef>

// Fills `size` bytes at `out` from the kernel's random source (getrandom, never waiting). Before
// the kernel's pool is ready they come from a generator stepped on each call and mixed with the
// time and the pid: not secret, but different from call to call and from process to process.
void random_bytes(void* out, size_t size);
