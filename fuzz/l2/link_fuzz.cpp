// Feeds arbitrary frames and primitives to an SS7 link or to the network side of a basic-rate
// D channel.
//
// Bit 1 of the first octet chooses the layer, bit 0 normal or emergency proving for SS7; then
// each octet below 0xF0 is the length of a frame that follows, and the octets from 0xF0 up are
// primitives (activate, deactivate, messages from the owner, room on the channel, a channel
// failure, trunk down, a timer expiry). The octets behind each frame in its packet buffer are
// poisoned while the layer reads it, so a read past the frame is an error; an SS7 unit too short
// to have a header must leave the link as it was.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "l2/isdn/lapd_nt.h"
#include "l2/ss7/slc.h"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// A channel that refuses every third unit.
class Channel : public GenericHDLC {
 public:
  bool hdlc_transmit(Packet&) override { return ++count_ % 3 != 0; }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }

 private:
  unsigned count_ = 0;
};

// Hands the frame to `layer` with the rest of its buffer poisoned.
void poisoned(Protocol& layer, const uint8_t* data, size_t size) {
  Packet p;
  p.reserve_head(0);
  if (size) std::memcpy(p.put(static_cast<unsigned>(size)), data, size);
  const Packet& bytes = p;
  unsigned char* tail = bytes->tail;
  const size_t behind = static_cast<size_t>(bytes->buffer_end() - tail);
  ASAN_POISON_MEMORY_REGION(tail, behind);
  layer.receive(p);
  ASAN_UNPOISON_MEMORY_REGION(tail, behind);
}

void receive(SS7::SLC& slc, const uint8_t* data, size_t size) {
  const SS7::SLC::State::type state = slc.state();
  const SS7::SLC::Statistics before = slc.statistics();
  poisoned(slc, data, size);
  const SS7::SLC::Statistics& after = slc.statistics();
  if (size < 3 && (slc.state() != state || after.su_received != before.su_received ||
                   after.su_sent != before.su_sent))
    std::abort();
  if (slc.rtb_fill() > SS7::SLC::kRtbLimit || slc.tb_count() > SS7::SLC::kTbLimit + 127)
    std::abort();
}

void message(SS7::SLC& slc, unsigned len) {
  Packet m;
  slc.prepare_head(m);
  for (unsigned i = 0; i < len; ++i) m.put8(static_cast<unsigned char>(i));
  slc.message(m);
}

// The network side under a stack that drops what it sends and passes up.
class Exchange : public ProtocolsList {
 public:
  Exchange() : nt(new ISDN::LAPD_NT) {
    nt->set_log(3);
    add_protocol_head(nt);
  }
  void transmit(Packet&) override {}
  void on_message(Packet&) override {}
  ISDN::LAPD_NT* nt;
};

void run_network_side(const uint8_t* data, size_t size) {
  Exchange exchange;
  for (size_t at = 1; at < size;) {
    const uint8_t op = data[at++];
    if (op < 0xF0) {
      const size_t n = op < size - at ? op : size - at;
      poisoned(*exchange.nt, data + at, n);
      at += n;
      continue;
    }
    switch (op) {
      case 0xF0:
        exchange.nt->activate();
        break;
      case 0xF1:
        exchange.nt->deactivate();
        break;
      case 0xF2:
      case 0xF3: {
        // A SETUP, or a message for call reference 5.
        Packet m;
        exchange.nt->prepare_head(m);
        for (unsigned char c : {0x08, 0x01, 0x85, op == 0xF2 ? 0x05 : 0x02}) m.put8(c);
        exchange.nt->message(m);
        break;
      }
      default:
        Mux::TestClock::advance_ms(op == 0xFF ? 60000 : 1000);
        multiplexer.timers_schedule();
        break;
    }
  }
}

void run_script(const uint8_t* data, size_t size) {
  if (size < 1) return;
  if (data[0] & 2) {
    run_network_side(data, size);
    return;
  }
  Channel channel;
  SS7::SLC slc;
  slc.hdlc = &channel;
  slc.emergency = data[0] & 1;
  for (size_t at = 1; at < size;) {
    const uint8_t op = data[at++];
    if (op < 0xF0) {
      const size_t n = op < size - at ? op : size - at;
      receive(slc, data + at, n);
      at += n;
      continue;
    }
    switch (op) {
      case 0xF0:
        slc.activate();
        break;
      case 0xF1:
        slc.deactivate();
        break;
      case 0xF2:
        message(slc, 5);
        break;
      case 0xF3:
        for (unsigned i = 0; i < 60; ++i) message(slc, 3 + i);
        break;
      case 0xF4:
        slc.on_hdlc_ready();
        break;
      case 0xF5:
        slc.on_hdlc_error(HDLC::Notify::Cause::read_error);
        break;
      case 0xF6:
        slc.OnTrunkHardStatus(false);
        break;
      default:
        // Lets the pending timer fire.
        Mux::TestClock::advance_ms(op == 0xFF ? 45000 : 1000);
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
    std::cerr.rdbuf(&null_buffer);
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    return true;
  }();
  (void)once;
  if (size > 4096) return 0;
  run_script(data, size);
  return 0;
}
