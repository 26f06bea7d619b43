// The messages that orvex-ctl converts between aligned PER octets and value notation: one
// codec per protocol, found by the protocol's name on the command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"

namespace Ctl {

class MessageCodec {
 public:
  // The codec of protocol `name` ("lgcp", "mon"), or null.
  static const MessageCodec* find(const std::string& name);
  // The protocol names, separated by "|", for usage texts.
  static std::string names();

  const char* name() const { return name_; }
  const char* type_name() const { return type_name_; }
  // A new empty message of the protocol's top type.
  std::unique_ptr<ASN1::AbstractData> make() const { return std::unique_ptr<ASN1::AbstractData>(make_()); }

  // Aligned PER to value notation. Octets after the message are ignored, as the daemon does.
  // False, with the reason in `error`, when the octets do not decode.
  bool decode(const std::vector<char>& bytes, std::string& text, std::string& error) const;
  // Value notation, read strictly, to aligned PER; only blanks may follow the value. False, with
  // the reason in `error` (and the place, when the text cannot be read), when the text cannot
  // be read or the value cannot be encoded.
  bool encode(const std::string& text, std::vector<char>& bytes, std::string& error) const;

  MessageCodec(const char* name, const char* type_name, ASN1::AbstractData* (*make)())
      : name_(name), type_name_(type_name), make_(make) {}

 private:
  const char* name_;
  const char* type_name_;
  ASN1::AbstractData* (*make_)();
};

}  // namespace Ctl
