// Poisoning of free pool blocks under AddressSanitizer.
//
// A pool that keeps its free blocks for reuse hides a use after release from the sanitizer: the
// memory is still the pool's. In builds with AddressSanitizer (g++ and clang) ORVEX_POOL_POISONS
// is defined and a pool poisons each block from its release to its next hand-out, so that any
// access to it in between is reported as a use after poison. In other builds these do nothing.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_POOL_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_POOL_POISONS 1
#endif
#endif

#ifdef ORVEX_POOL_POISONS
#include <sanitizer/asan_interface.h>
#endif

inline void pool_poison(const void* p, std::size_t n) {
#ifdef ORVEX_POOL_POISONS
  ASAN_POISON_MEMORY_REGION(p, n);
#else
  (void)p;
  (void)n;
#endif
}

inline void pool_unpoison(const void* p, std::size_t n) {
#ifdef ORVEX_POOL_POISONS
  ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
  (void)p;
  (void)n;
#endif
}

// True when the byte at p is poisoned; always false without the sanitizer.
inline bool pool_poisoned(const void* p) {
#ifdef ORVEX_POOL_POISONS
  return __asan_address_is_poisoned(p) != 0;
#else
  (void)p;
  return false;
#endif
}
