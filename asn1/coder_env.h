// The coder environment and the generic entry points that encode and decode every protocol
// value: rule 0 ASN.1 value notation, 1 BER, 2 aligned PER.
#pragma once

#include <cstring>
#include <iterator>
#include <vector>

// Loki's AssocVector derives from std::binary_function, deprecated since C++11.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <loki/AssocVector.h>
#pragma GCC diagnostic pop

#include "asn1/abstract_data.h"

namespace ASN1 {

// A schema module, for resolving open types; no module is registered in this system.
class Module {
 public:
  virtual ~Module() = default;
};

class CoderEnv {
 public:
  enum EncodingRules { avn = 0, ber = 1, per_Aligned = 2 };

  struct StringListeralCmp {
    typedef const char* first_argument_type;
    typedef const char* second_argument_type;
    typedef bool result_type;
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
  };
  typedef Loki::AssocVector<const char*, Module*, StringListeralCmp> ModuleRegistry;

  explicit CoderEnv(int rule = per_Aligned) : encodingRule(rule) {}

  int get_encodingRule() const { return encodingRule; }
  void set_per_Aligned() { encodingRule = per_Aligned; }
  void set_ber() { encodingRule = ber; }
  void set_avn() { encodingRule = avn; }

  // Encodes `value` by the rule into `out`; nothing is written on failure.
  bool encode(const AbstractData& value, std::vector<char>& out);
  // Decodes [begin, end) into `value` (of the expected type). Trailing octets are ignored.
  // `no_env` keeps the decoders from holding this environment.
  bool decode(const char* begin, const char* end, AbstractData& value, bool no_env);

  bool encodePER(const AbstractData& value, std::vector<char>& out);
  bool encodeBER(const AbstractData& value, std::vector<char>& out);
  bool encodeAVN(const AbstractData& value, std::vector<char>& out);

  int encodingRule;
  ModuleRegistry modules;
};

// Appends the encoding of `value` to the vector behind `out`.
bool encode(const AbstractData& value, CoderEnv* env,
            std::back_insert_iterator<std::vector<char>> out);
bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value,
            bool no_env = true);

}  // namespace ASN1
