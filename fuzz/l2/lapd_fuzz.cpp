// D-channel frames to the Q.931 trace decoder (exact-size heap frame, text must end in its
// buffer), then the input as a script to a LAPD link, the network side (bit 5 of the first octet)
// or an SS7 link (bit 6): octets below 0xF0 are frame lengths, the rest primitives. The octets
// behind each frame are poisoned while the layer reads it.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <memory>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_nt.h"
#include "l2/isdn/q931_trace.h"
#include "l2/ss7/slc.h"

namespace {

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

void receive(Protocol& layer, const uint8_t* data, size_t size) {
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

void let_timers_fire(unsigned ms) {
  Mux::TestClock::advance_ms(ms);
  multiplexer.timers_schedule();
}

template <class Frame, class Primitive>
void for_each_step(const uint8_t* data, size_t size, Frame frame, Primitive primitive) {
  for (size_t at = 1; at < size;) {
    const uint8_t op = data[at++];
    if (op >= 0xF0) {
      primitive(op);
      continue;
    }
    const size_t n = op < size - at ? op : size - at;
    frame(data + at, n);
    at += n;
  }
}

void receive_unit(SS7::SLC& slc, const uint8_t* data, size_t size) {
  const SS7::SLC::State::type state = slc.state();
  const SS7::SLC::Statistics before = slc.statistics();
  receive(slc, data, size);
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
  auto frame = [&](const uint8_t* octets, size_t n) { receive(*exchange.nt, octets, n); };
  for_each_step(data, size, frame, [&](uint8_t op) {
    switch (op) {
      case 0xF0: exchange.nt->activate(); break;
      case 0xF1: exchange.nt->deactivate(); break;
      case 0xF2:
      case 0xF3: {
        Packet m;
        exchange.nt->prepare_head(m);
        for (unsigned char c : {0x08, 0x01, 0x85, op == 0xF2 ? 0x05 : 0x02}) m.put8(c);
        exchange.nt->message(m);
        break;
      }
      default: let_timers_fire(op == 0xFF ? 60000 : 1000); break;
    }
  });
}

void run_ss7(const uint8_t* data, size_t size) {
  Channel channel;
  SS7::SLC slc;
  slc.hdlc = &channel;
  slc.emergency = data[0] & 1;
  auto frame = [&](const uint8_t* octets, size_t n) { receive_unit(slc, octets, n); };
  for_each_step(data, size, frame, [&](uint8_t op) {
    switch (op) {
      case 0xF0: slc.activate(); break;
      case 0xF1: slc.deactivate(); break;
      case 0xF2: message(slc, 5); break;
      case 0xF3: for (unsigned i = 0; i < 60; ++i) message(slc, 3 + i); break;
      case 0xF4: slc.on_hdlc_ready(); break;
      case 0xF5: slc.on_hdlc_error(HDLC::Notify::Cause::read_error); break;
      case 0xF6: slc.OnTrunkHardStatus(false); break;
      default: let_timers_fire(op == 0xFF ? 45000 : 1000); break;
    }
  });
}

void run_script(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const uint8_t config = data[0];
  if (config & 0x20) {
    run_network_side(data, size);
    return;
  }
  if (config & 0x40) {
    run_ss7(data, size);
    return;
  }
  Channel channel;
  ISDN::LAPD lapd(config & 1 ? ISDN::Side::network : ISDN::Side::user, (config >> 2) & 7);
  lapd.hdlc = &channel;
  if (config & 2) lapd.change_to_bri();
  auto frame = [&](const uint8_t* octets, size_t n) { receive(lapd, octets, n); };
  unsigned steps = 0;
  for_each_step(data, size, frame, [&](uint8_t op) {
    ++steps;
    switch (op) {
      case 0xF0: lapd.activate(); break;
      case 0xF1: lapd.deactivate(); break;
      case 0xF2: {
        Packet m;
        lapd.prepare_head(m);
        m.put8(0x08);
        lapd.message(m);
        break;
      }
      case 0xF3: lapd.on_hdlc_ready(); break;
      case 0xF4: lapd.on_hdlc_error(HDLC::Notify::Cause::read_error); break;
      case 0xF5: lapd.mdl_remove(); break;
      case 0xF6: lapd.on_error(steps); break;
      default: let_timers_fire(op == 0xFF ? 10000 : 1000); break;
    }
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    for (std::ostream* os : {&std::clog, &std::cout, &std::cerr}) os->rdbuf(nullptr);
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    return true;
  }();
  (void)once;
  if (size > 4096) return 0;
  decode(data, size);
  run_script(data, size);
  return 0;
}
