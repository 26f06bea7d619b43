#include "tools/orvex-ctl/lib/message_codec.h"

#include <iterator>
#include <sstream>

#include "asn1/coder_env.h"
#include "asn1/modules/lgcp.h"
#include "asn1/modules/mon.h"
#include "tools/orvex-ctl/lib/command_reader.h"

namespace Ctl {

namespace {

template <class T>
ASN1::AbstractData* make_message() {
  return new T;
}

const MessageCodec codecs[] = {
    {"lgcp", "LGCP::Message", &make_message<LGCP::Message>},
    {"mon", "MON::Message", &make_message<MON::Message>},
};

}  // namespace

const MessageCodec* MessageCodec::find(const std::string& name) {
  for (const MessageCodec& codec : codecs) {
    if (name == codec.name()) return &codec;
  }
  return nullptr;
}

std::string MessageCodec::names() {
  std::string text;
  for (const MessageCodec& codec : codecs) {
    if (!text.empty()) text += '|';
    text += codec.name();
  }
  return text;
}

bool MessageCodec::decode(const std::vector<char>& bytes, std::string& text,
                          std::string& error) const {
  std::unique_ptr<ASN1::AbstractData> message = make();
  ASN1::CoderEnv env;
  env.set_per_Aligned();
  if (!ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, *message, true)) {
    error = std::string("the octets are not an aligned PER ") + type_name_;
    return false;
  }
  std::ostringstream out;
  if (message->print_on(out) != 0) {
    error = std::string("the decoded ") + type_name_ + " cannot be printed";
    return false;
  }
  text = out.str();
  return true;
}

bool MessageCodec::encode(const std::string& text, std::vector<char>& bytes,
                          std::string& error) const {
  std::unique_ptr<ASN1::AbstractData> message = make();
  if (!read_whole_value(text, *message, error)) return false;
  ASN1::CoderEnv env;
  env.set_per_Aligned();
  bytes.clear();
  if (!ASN1::encode(*message, &env, std::back_inserter(bytes))) {
    error = std::string("the ") + type_name_ +
            " cannot be encoded (a value outside its range or an alternative not chosen)";
    return false;
  }
  return true;
}

}  // namespace Ctl
