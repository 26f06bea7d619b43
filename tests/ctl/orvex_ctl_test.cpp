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

const char success_text[] =
    "{\n"
    "  seq 5,\n"
    "  slot 3,\n"
    "  pdu response : success : NULL\n"
    "}";
const char mon_ping_text[] =
    "{\n"
    "  pdu command : ping : NULL\n"
    "}";

TEST_F(OrvexCtl, DecodePrintsValueNotation) {
  struct Case {
    const char* args;
    std::string out;
  } cases[] = {
      {"decode lgcp C00105000340", std::string(success_text) + "\n"},
      {"decode lgcp 'c0 01 05 00 03 40'", std::string(success_text) + "\n"},
      {"decode lgcp 40000762",
       "{\n  slot 7,\n  pdu response : error : invalidSlot\n}\n"},
      {"decode mon 18", std::string(mon_ping_text) + "\n"},
  };
  for (const Case& c : cases) {
    Outcome r = run(c.args);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args;
    EXPECT_EQ(r.err, "") << c.args;
  }
}

TEST_F(OrvexCtl, EncodeReadsValueNotationAndPrintsHex) {
  struct Case {
    const char* args;
    std::string input;
    const char* out;
  } cases[] = {
      {"encode lgcp", success_text, "C00105000340\n"},
      {"encode lgcp", "{ slot 7, pdu response : error : invalidSlot }\n", "40000762\n"},
      {"encode mon", mon_ping_text, "18\n"},
  };
  for (const Case& c : cases) {
    Outcome r = run(c.args, c.input);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.input;
  }
}

TEST_F(OrvexCtl, HelpPrintsTheUsage) {
  for (const char* args : {"--help", "-h"}) {
    Outcome r = run(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.out.rfind("usage:\n  orvex-ctl decode ", 0), 0u) << args << ": " << r.out;
    EXPECT_EQ(r.err, "") << args;
  }
}

TEST_F(OrvexCtl, BadInputGetsAMessageAndStatusOne) {
  struct Case {
    const char* args;
    std::string input;
    const char* message;  // part of the error text
  } cases[] = {
      {"decode lgcp C0010", "", "is not hexadecimal octets"},
      {"decode lgcp C0X1", "", "is not hexadecimal octets"},
      {"decode lgcp ''", "", "not an aligned PER LGCP::Message"},
      {"decode lgcp C001", "", "not an aligned PER LGCP::Message"},
      {"decode sip 00", "", "unknown protocol \"sip\" (lgcp|mon)"},
      {"encode lgcp", "", "not value notation of LGCP::Message"},
      {"encode lgcp", "{ pdu response : nonsense : NULL }", "not value notation of LGCP::Message"},
      {"encode lgcp", std::string(success_text) + " }", "text follows the LGCP::Message value"},
      {"encode lgcp", "{ slot 2000, pdu response : success : NULL }", "cannot be encoded"},
      {"encode mon", "{ pdu command : ping : NULL, extra 1 }", "not value notation of MON::Message"},
      {"", "", "usage:"},
      {"decode lgcp", "", "usage:"},
      {"encode", "", "usage:"},
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
