// orvex-ctl as a black box: the built program is run with arguments and standard input, and its
// output streams and exit status are compared.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_root.h"

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class OrvexCtl : public testing::Test {
 protected:
  // Runs the program with `args` (already quoted for the shell) and `input` on its standard
  // input.
  Outcome run(const std::string& args, const std::string& input = std::string()) {
    const std::string& dir = root_.path();
    std::ofstream(dir + "/in") << input;
    std::string command = std::string(ORVEX_CTL_PROGRAM) + " " + args + " <" + dir + "/in >" +
                          dir + "/out 2>" + dir + "/err";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir + "/out"),
            read_file(dir + "/err")};
  }

  TempRoot root_;
};

const char success_text[] = "{\n  seq 5,\n  slot 3,\n  pdu response : success : NULL\n}\n";

// Each value in value notation and its octets: encode gives the octets, decode the text back.
TEST_F(OrvexCtl, EncodeAndDecodeAreInverse) {
  struct Case {
    const char* protocol;
    std::string text;
    const char* hex;
  } cases[] = {
      {"lgcp", success_text, "C00105000340"},
      {"lgcp", "{\n  slot 7,\n  pdu response : error : invalidSlot\n}\n", "40000762"},
      {"mon", "{\n  pdu command : ping : NULL\n}\n", "18"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    Outcome encoded = run(std::string("encode ") + c.protocol, c.text);
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_EQ(encoded.out, std::string(c.hex) + "\n");
    Outcome decoded = run(std::string("decode ") + c.protocol + " " + c.hex);
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(decoded.out, c.text);
    EXPECT_EQ(decoded.err, "");
  }
  EXPECT_EQ(run("decode lgcp 'c0 01 05 00 03 40'").out, success_text);
  const Outcome help = run("-h");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage:\n  orvex-ctl decode ", 0), 0u) << help.out;
}

TEST_F(OrvexCtl, BadInputGetsAMessageAndStatusOne) {
  struct Case {
    const char* args;
    std::string input;
    const char* message;  // part of the error text
  } cases[] = {
      {"decode lgcp C0010", "", "is not hexadecimal octets"},
      {"decode lgcp C001", "", "not an aligned PER LGCP::Message"},
      {"decode sip 00", "", "unknown protocol \"sip\" (lgcp|mon)"},
      {"encode lgcp", "", "not value notation of LGCP::Message"},
      {"encode lgcp", std::string(success_text) + " }", "text follows the LGCP::Message value"},
      {"encode lgcp", "{ slot 2000, pdu response : success : NULL }", "cannot be encoded"},
      {"encode mon", "{ pdu command : ping : NULL, extra 1 }", "not value notation of MON::Message"},
      {"", "", "usage:"},
      {"transcode lgcp", "", "unknown command \"transcode\""},
  };
  for (const Case& c : cases) {
    Outcome r = run(c.args, c.input);
    EXPECT_EQ(r.status, 1) << c.args << " / " << c.input;
    EXPECT_EQ(r.out, "") << c.args << " / " << c.input;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
}

}  // namespace
