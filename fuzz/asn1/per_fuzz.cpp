// Aligned PER decoder on arbitrary octets: no crash, no read past the data, and whatever decodes
// re-encodes to octets that decode to the same value and survives value notation.
#include <sstream>

#include "fuzz/asn1/round_trip.h"
#include "tests/support/test_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestSchema::Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  const char* begin = reinterpret_cast<const char*>(data);
  if (!env.decode(begin, begin + size, message, true)) return 0;
  fuzz::check_codec(message, ASN1::CoderEnv::per_Aligned);
  fuzz::check_value_notation(message);
  return 0;
}
