#include "base/random_bytes.h"

#include <sys/random.h>
#include <unistd.h>

#include <chrono>

void random_bytes(void* out, size_t size) {
  if (::getrandom(out, size, GRND_NONBLOCK) == ssize_t(size)) return;
  static unsigned long long state =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<unsigned long long>(::getpid()) << 32);
  auto* bytes = static_cast<unsigned char*>(out);
  for (size_t i = 0; i < size; ++i) {
    if (i % 8 == 0) state = state * 6364136223846793005ull + 1442695040888963407ull + ::getpid();
    bytes[i] = static_cast<unsigned char>(state >> (8 * (i % 8)));
  }
}
