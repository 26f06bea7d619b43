// Aligned PER decoder on arbitrary octets: no crash, no read past the data, and whatever decodes
// re-encodes to octets that decode to the same value and survives value notation.
#include "fuzz/asn1/round_trip.h"
#include "tests/support/test_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::check_per_message<TestSchema::Message>(data, size);
}
