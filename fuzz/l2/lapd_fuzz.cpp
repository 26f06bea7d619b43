// Feeds arbitrary D-channel frames to the Q.931 trace decoder. The frame and the text buffer are
// heap blocks of their exact sizes, so AddressSanitizer sees any read past the frame or write
// past the 1024-octet buffer; the text must end inside the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "l2/isdn/q931_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::unique_ptr<unsigned char[]> frame(new unsigned char[size]);
  if (size) std::memcpy(frame.get(), data, size);
  std::unique_ptr<char[]> text(new char[ISDN::logbuf_size]);
  for (int direction : {0, 1}) {
    ISDN::dlogframe(frame.get(), static_cast<unsigned>(size), direction, text.get());
    if (std::strlen(text.get()) >= ISDN::logbuf_size) std::abort();
    if (size <= 2 && text[0] != '\0') std::abort();
  }
  return 0;
}
