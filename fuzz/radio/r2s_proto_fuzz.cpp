// Unpacks arbitrary bytes as an ED-137 TX and as an RX header extension (the first byte picks
// the direction) and checks that whatever unpacks packs again to bytes that unpack to the same
// packing: the codec never reads or writes outside its buffers and keeps at most 16 features.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "radio/r2s_proto.h"

namespace {

int unpack(uint32_t direction, r2s_proto* p, const unsigned char* data, size_t size) {
  std::vector<unsigned char> copy(data, data + size);  // exactly sized, so ASan sees overreads
  const int n = static_cast<int>(size);
  return direction == kR2sTx ? r2s_proto_unpack_tx(p, copy.data(), n)
                             : r2s_proto_unpack_rx(p, copy.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t direction = (data[0] & 1) ? kR2sRx : kR2sTx;
  ++data;
  --size;
  r2s_proto p;
  r2s_proto_init(&p, 0);
  const int result = unpack(direction, &p, data, size);
  if (p.count > kR2sMaxAdditionals) std::abort();
  if (result != 0) return 0;
  unsigned char first[256], second[256];
  const int n = r2s_proto_pack(&p, first, sizeof first);
  if (n < 2) std::abort();
  r2s_proto q;
  r2s_proto_init(&q, 0);
  if (unpack(direction, &q, first, static_cast<size_t>(n)) != 0) std::abort();
  if (r2s_proto_pack(&q, second, sizeof second) != n || std::memcmp(first, second, n) != 0)
    std::abort();
  return 0;
}
