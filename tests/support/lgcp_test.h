// Helpers of the tests that talk LGCP to the control server (control server, slot framework,
// black-box tests): scripted services, messages written in value notation, TPKT frames taken
// apart.
#pragma once

#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "control/ctrl_service.h"
#include "tools/orvex-ctl/lib/command_reader.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/orvex-ctl/lib/hex.h"

// A service that writes down every call it gets ("a connect", "a command ping", "a signal
// activated") and does what the test scripts.
class TestService : public CtrlSrv::Service {
 public:
  using OnCommandScript = std::function<bool(TestService&, const LGCP::Command&)>;
  using OnSignalScript = std::function<void(TestService&, const LGCP::Signal&)>;

  TestService(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}

  OnCommandScript on_command;
  OnSignalScript on_signal;

  void OnConnect() override { log_->push_back(name_ + " connect"); }
  void OnDisconnect() override { log_->push_back(name_ + " disconnect"); }
  bool OnCommand(const LGCP::Command& c) override {
    log_->push_back(name_ + " command " + c.getSelectionName());
    return on_command && on_command(*this, c);
  }
  void OnSignal(const LGCP::Signal& s) override {
    const char* selected = s.getSelectionName();
    log_->push_back(name_ + " signal " + (selected ? selected : "none"));
    if (on_signal) on_signal(*this, s);
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

// Answers every command it is offered with success.
inline bool answer_success(TestService& s, const LGCP::Command&) {
  s.Success();
  return true;
}

// A message or bare command in value notation (seq and slot only as written).
inline LGCP::Message lgcp_message(const std::string& text) {
  LGCP::Message m;
  std::istringstream in(text);
  EXPECT_TRUE(Ctl::read_command(in, m)) << text;
  return m;
}

inline LGCP::Signal lgcp_signal(const std::string& text) {
  LGCP::Signal s;
  std::istringstream in(text);
  EXPECT_TRUE(static_cast<bool>(in >> s)) << text;
  return s;
}

// The aligned PER octets of a message written in value notation, in hex.
inline std::string wire(const std::string& text) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> bytes;
  EXPECT_TRUE(ASN1::encode(lgcp_message(text), &env, std::back_inserter(bytes))) << text;
  return Ctl::to_hex(bytes);
}

inline std::string bytes_of(const std::string& hex) {
  std::vector<char> b;
  EXPECT_TRUE(Ctl::from_hex(hex, b)) << hex;
  return std::string(b.begin(), b.end());
}

// The payloads, in hex, of the TPKT frames in `stream`; a broken or cut frame adds "broken".
inline std::vector<std::string> frames(const std::string& stream) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < stream.size()) {
    const auto octet = [&](size_t i) { return static_cast<unsigned char>(stream[at + i]); };
    const size_t length = stream.size() - at >= 4 ? size_t(octet(2)) << 8 | octet(3) : 0;
    if (length < 4 || octet(0) != 3 || octet(1) != 0 || at + length > stream.size()) {
      out.push_back("broken");
      break;
    }
    out.push_back(Ctl::to_hex(std::vector<char>(stream.begin() + at + 4, stream.begin() + at + length)));
    at += length;
  }
  return out;
}
