// BER decoder on arbitrary octets: no crash, no read past the data, and whatever decodes
// re-encodes to octets that decode to the same value and survives value notation.
#include "fuzz/asn1/round_trip.h"
#include "tests/support/test_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ValuesBack values_back;
  std::string input = fuzz::structured_input<TestSchema::Message>(data, size, ASN1::CoderEnv::ber);
  TestSchema::Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  if (!env.decode(input.data(), input.data() + input.size(), message, true)) return 0;
  fuzz::check_codec(message, ASN1::CoderEnv::ber);
  fuzz::check_value_notation(message);
  return 0;
}
