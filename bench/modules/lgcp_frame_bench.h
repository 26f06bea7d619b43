// LGCP messages for the benchmarks that talk to a control server.
#pragma once

#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/lgcp.h"
#include "tests/support/loopback.h"

namespace bench {

// `text`, a message in value notation, in aligned PER in a TPKT frame.
inline std::string lgcp_frame(const std::string& text) {
  LGCP::Message m;
  m.setFromValueNotation(text);
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> bytes;
  ASN1::encode(m, &env, std::back_inserter(bytes));
  return tpkt(std::string(bytes.begin(), bytes.end()));
}

}  // namespace bench
