// Feeds arbitrary D-channel frames to the Q.931 trace decoder and to LAPD links.
//
// The decoder gets the input as one frame, in a heap block of its exact size, with a heap text
// buffer of 1024 octets: AddressSanitizer sees any read past the frame or write past the buffer,
// and the text must end inside it.
//
// The links get the input as a script: the first octet chooses the side, basic or primary rate
// and the log level; then each octet below 0xF0 is the length of a frame that follows, and the
// octets from 0xF0 up are primitives (establish, release, a message, room on the channel, a
// channel failure, TEI removal, a timer expiry). The octets behind each frame in its packet
// buffer are poisoned while the link reads it, so a read past the frame is an error.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <streambuf>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/q931_trace.h"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// A channel that takes every other frame.
class Channel : public GenericHDLC {
 public:
  bool hdlc_transmit(Packet&) override { return (++count_ & 1) != 0; }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }

 private:
  unsigned count_ = 0;
};

void decode(const uint8_t* data, size_t size) {
  std::unique_ptr<unsigned char[]> frame(new unsigned char[size]);
  if (size) std::memcpy(frame.get(), data, size);
  std::unique_ptr<char[]> text(new char[ISDN::kLogbufSize]);
  for (int direction : {0, 1}) {
    ISDN::dlogframe(frame.get(), static_cast<unsigned>(size), direction, text.get());
    if (std::strlen(text.get()) >= ISDN::kLogbufSize) std::abort();
    if (size <= 2 && text[0] != '\0') std::abort();
  }
}

void receive(ISDN::LAPD& lapd, const uint8_t* data, size_t size) {
  Packet p;
  p.reserve_head(0);
  if (size) std::memcpy(p.put(static_cast<unsigned>(size)), data, size);
  const Packet& bytes = p;
  unsigned char* tail = bytes->tail;
  const size_t behind = static_cast<size_t>(bytes->buffer_end() - tail);
  ASAN_POISON_MEMORY_REGION(tail, behind);
  lapd.on_hdlc_receive(p);
  ASAN_UNPOISON_MEMORY_REGION(tail, behind);
}

void run_script(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const uint8_t config = data[0];
  Channel channel;
  ISDN::LAPD lapd(config & 1 ? ISDN::Side::network : ISDN::Side::user, (config >> 2) & 7);
  lapd.hdlc = &channel;
  if (config & 2) lapd.change_to_bri();
  for (size_t at = 1; at < size;) {
    const uint8_t op = data[at++];
    if (op < 0xF0) {
      const size_t n = op < size - at ? op : size - at;
      receive(lapd, data + at, n);
      at += n;
      continue;
    }
    switch (op) {
      case 0xF0:
        lapd.activate();
        break;
      case 0xF1:
        lapd.deactivate();
        break;
      case 0xF2: {
        Packet m;
        lapd.prepare_head(m);
        m.put8(0x08);
        lapd.message(m);
        break;
      }
      case 0xF3:
        lapd.on_hdlc_ready();
        break;
      case 0xF4:
        lapd.on_hdlc_error(HDLC::Notify::Cause::read_error);
        break;
      case 0xF5:
        lapd.mdl_remove();
        break;
      case 0xF6:
        lapd.on_error(unsigned(at));
        break;
      default:
        // Lets the pending timer fire.
        Mux::TestClock::advance_ms(op == 0xFF ? 10000 : 1000);
        multiplexer.timers_schedule();
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static bool once = [] {
    std::clog.rdbuf(&null_buffer);
    std::cout.rdbuf(&null_buffer);
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    return true;
  }();
  (void)once;
  if (size > 4096) return 0;
  decode(data, size);
  run_script(data, size);
  return 0;
}
