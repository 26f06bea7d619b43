// Aligned PER decoder on arbitrary octets as a LGCP message: no crash, no read past the data,
// and whatever decodes prints, parses back, encodes and decodes again to an equal value.
#include "asn1/modules/lgcp.h"
#include "fuzz/asn1/round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::check_per_message<LGCP::Message>(data, size);
}
