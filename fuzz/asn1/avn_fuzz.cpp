// Value-notation parser on arbitrary text: no crash, whatever parses and prints parses back from
// that text to an equal value and survives aligned PER, and what the strict decoder accepts the
// plain one accepts as the same value.
#include "fuzz/asn1/round_trip.h"
#include "tests/support/test_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ValuesBack values_back;
  TestSchema::Message message;
  std::string text = fuzz::structured_input<TestSchema::Message>(data, size, ASN1::CoderEnv::avn);
  TestSchema::Message strict;
  std::istringstream in(text);
  ASN1::AVNDecoder decoder(in, true);
  const bool strict_ok = strict.accept(decoder);
  if (!message.setFromValueNotation(text)) {
    if (strict_ok) fuzz::fail("only the strict decoder accepts", strict, nullptr);
    return 0;
  }
  if (strict_ok && strict.compare(message) != 0)
    fuzz::fail("the decoders differ", message, &strict);
  fuzz::check_value_notation(message);
  fuzz::check_codec(message, ASN1::CoderEnv::per_Aligned);
  return 0;
}
