#include "asn1/coder_env.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "asn1/avn_decoder.h"
#include "asn1/avn_encoder.h"
#include "asn1/ber_decoder.h"
#include "asn1/ber_encoder.h"
#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"

namespace ASN1 {

bool CoderEnv::encodePER(const AbstractData& value, std::vector<char>& out) {
  size_t mark = out.size();
  PEREncoder encoder(out);
  if (value.accept(encoder)) return true;
  out.resize(mark);
  return false;
}

bool CoderEnv::encodeBER(const AbstractData& value, std::vector<char>& out) {
  size_t mark = out.size();
  BEREncoder encoder(out);
  if (value.accept(encoder)) return true;
  out.resize(mark);
  return false;
}

bool CoderEnv::encodeAVN(const AbstractData& value, std::vector<char>& out) {
  std::ostringstream os;
  if (value.print_on(os) != std::ios_base::goodbit) return false;
  std::string text = os.str();
  out.insert(out.end(), text.begin(), text.end());
  return true;
}

bool CoderEnv::encode(const AbstractData& value, std::vector<char>& out) {
  switch (encodingRule) {
    case per_Aligned:
      return encodePER(value, out);
    case ber:
      return encodeBER(value, out);
    case avn:
      return encodeAVN(value, out);
    default:
      return false;
  }
}

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool no_env) {
  CoderEnv* env = no_env ? nullptr : this;
  switch (encodingRule) {
    case per_Aligned: {
      PERDecoder decoder(begin, end, env);
      return value.accept(decoder);
    }
    case ber: {
      BERDecoder decoder(begin, end, env);
      return value.accept(decoder);
    }
    case avn: {
      std::istringstream is(std::string(begin, end));
      AVNDecoder decoder(is);
      return value.accept(decoder);
    }
    default:
      return false;
  }
}

bool encode(const AbstractData& value, CoderEnv* env,
            std::back_insert_iterator<std::vector<char>> out) {
  if (env == nullptr) return false;
  std::vector<char> bytes;
  bytes.reserve(256);
  if (!env->encode(value, bytes)) return false;
  std::copy(bytes.begin(), bytes.end(), out);
  return true;
}

bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value,
            bool no_env) {
  return env != nullptr && end >= begin &&
         env->decode(begin, end, value, no_env);
}

}  // namespace ASN1
