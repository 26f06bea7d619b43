// Unpacks arbitrary bytes as a LEMZ signalling packet into a record that already holds data,
// dumps it into buffers of several sizes, and checks that a packet that unpacks packs again to
// bytes that unpack and pack to the same: no read or write leaves its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "radio/sig_proto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> packet(data, data + size);  // exactly sized, so ASan sees overreads
  sig_proto p;
  sig_proto_init(&p);
  std::memset(&p.payload, 'x', sizeof p.payload);
  const int result = sig_proto_unpack(&p, packet.data(), static_cast<int>(packet.size()));
  for (long room : {1L, 17L, 300L, 8192L}) {
    std::vector<char> text(static_cast<size_t>(room));
    const int n = sprintf_sig_proto(text.data(), room, &p, 3);
    if (n < 0 || n >= room || text[static_cast<size_t>(n)] != '\0') std::abort();
  }
  if (result != 0) return 0;
  unsigned char first[300], second[300];
  const int n = sig_proto_pack(&p, first, sizeof first);
  if (n < 4) std::abort();
  sig_proto q;
  sig_proto_init(&q);
  if (sig_proto_unpack(&q, first, n) != 0) std::abort();
  if (sig_proto_pack(&q, second, sizeof second) != n || std::memcmp(first, second, n) != 0)
    std::abort();
  return 0;
}
