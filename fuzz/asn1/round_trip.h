// Checks shared by the ASN.1 fuzz targets: a value must survive value notation and a codec.
#pragma once

#include <cstdio>
#include <sstream>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "fuzz/asn1/values_back.h"

namespace fuzz {

inline void fail(const char* what, const ASN1::AbstractData& a, const ASN1::AbstractData* b) {
  std::fprintf(stderr, "%s\n%s\n---\n%s\n", what, a.asValueNotation().c_str(),
               b ? b->asValueNotation().c_str() : "");
  std::abort();
}

// A printable value must parse back from its text, by the plain and by the strict decoder, to an
// equal value that prints the same.
inline void check_value_notation(const ASN1::AbstractData& value) {
  std::string text;
  {
    std::ostringstream os;
    if (value.print_on(os) != std::ios_base::goodbit) return;
    text = os.str();
  }
  std::unique_ptr<ASN1::AbstractData> back(value.type_info()->create(value.info()));
  if (!back->setFromValueNotation(text)) fail("printed text does not parse", value, nullptr);
  if (back->compare(value) != 0) fail("parsed text differs", value, back.get());
  if (back->asValueNotation() != text) fail("text prints differently", value, back.get());
  std::unique_ptr<ASN1::AbstractData> strict(value.type_info()->create(value.info()));
  std::istringstream in(text);
  ASN1::AVNDecoder decoder(in, true);
  if (!strict->accept(decoder)) fail("printed text does not parse strictly", value, nullptr);
  if (strict->compare(value) != 0) fail("strictly parsed text differs", value, strict.get());
}

// Encoding must decode back to an equal value that encodes to the same octets.
inline void check_codec(const ASN1::AbstractData& value, int rule) {
  ASN1::CoderEnv env(rule);
  std::vector<char> octets;
  if (!env.encode(value, octets)) return;
  std::unique_ptr<ASN1::AbstractData> back(value.type_info()->create(value.info()));
  if (!env.decode(octets.data(), octets.data() + octets.size(), *back, true))
    fail("encoding does not decode", value, nullptr);
  if (back->compare(value) != 0) fail("decoded encoding differs", value, back.get());
  std::vector<char> again;
  if (!env.encode(*back, again) || again != octets) fail("re-encoding differs", value, back.get());
}

// An aligned PER message on arbitrary octets: no crash, no read past the data, and whatever
// decodes survives aligned PER and value notation.
template <class Message>
int check_per_message(const uint8_t* data, size_t size) {
  ValuesBack values_back;
  Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  const char* begin = reinterpret_cast<const char*>(data);
  if (!env.decode(begin, begin + size, message, true)) return 0;
  check_codec(message, ASN1::CoderEnv::per_Aligned);
  check_value_notation(message);
  return 0;
}

// Inputs that start with the byte 1 are not taken as they stand: the rest after four edit
// bytes is an aligned PER message, written again by `rule` (1 BER, 0 value notation), and then
// one octet of that output at a position the edit bytes give is replaced by another edit byte
// (or the output is cut there). This lets short runs reach deep into well-formed input.
template <class Message>
std::string structured_input(const uint8_t* data, size_t size, int rule) {
  if (size == 0 || data[0] != 1) return std::string(reinterpret_cast<const char*>(data), size);
  if (size < 5) return std::string();
  Message message;
  ASN1::CoderEnv per;
  const char* begin = reinterpret_cast<const char*>(data + 5);
  if (!per.decode(begin, reinterpret_cast<const char*>(data + size), message, true))
    return std::string();
  ASN1::CoderEnv env(rule);
  std::vector<char> out;
  if (!env.encode(message, out) || out.empty()) return std::string();
  size_t at = (size_t{data[1]} << 8 | data[2]) % out.size();
  if (data[3] & 1)
    out[at] = static_cast<char>(data[4]);
  else if (data[3] & 2)
    out.resize(at);
  return std::string(out.begin(), out.end());
}

}  // namespace fuzz
