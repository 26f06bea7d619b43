// Helpers of the ASN.1 runtime's tests and benchmarks: hex text, building test-schema messages.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_schema.h"

namespace TestSchema {

std::vector<char> unhex(const std::string& hex);
std::string hex(const std::vector<char>& bytes);

// Aligned PER through the coder environment; an empty optional on failure is "" for hex.
bool per_encode(const ASN1::AbstractData& value, std::vector<char>& out);
bool per_decode(const std::vector<char>& bytes, ASN1::AbstractData& value);

// A response message: success when `cause` is negative, else error `cause`.
void make_response(Message& m, int cause);
// A Kinds value with every field present and set to non-default values.
void fill_kinds(ASN1::SEQUENCE& kinds);
// A signal message carrying `n` HDLC packages of `size` octets each.
void make_hdlc_packages(Message& m, int n, int size);
// A create command with RTP parameters.
void make_create_rtp(Message& m);

}  // namespace TestSchema
