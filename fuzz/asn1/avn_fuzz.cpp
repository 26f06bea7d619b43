// Value-notation parser on arbitrary text: no crash, and whatever parses and prints parses
// back from that text to an equal value, and survives aligned PER.
#include "fuzz/asn1/round_trip.h"
#include "tests/support/test_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ValuesBack values_back;
  TestSchema::Message message;
  std::string text = fuzz::structured_input<TestSchema::Message>(data, size, ASN1::CoderEnv::avn);
  if (!message.setFromValueNotation(text)) return 0;
  fuzz::check_value_notation(message);
  fuzz::check_codec(message, ASN1::CoderEnv::per_Aligned);
  return 0;
}
