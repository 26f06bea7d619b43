// orvex-ctl: the controller's command-line tool. Each subcommand is one entry of the table
// below; `decode` and `encode` convert LGCP and MON messages between aligned PER (hex) and
// value notation.
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/orvex-ctl/lib/hex.h"
#include "tools/orvex-ctl/lib/message_codec.h"

namespace {

const char program[] = "orvex-ctl";

struct Subcommand {
  const char* name;
  size_t argument_count;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
};

int fail(const std::string& message) {
  std::cerr << program << ": " << message << '\n';
  return 1;
}

const Ctl::MessageCodec* codec_of(const std::string& name) {
  const Ctl::MessageCodec* codec = Ctl::MessageCodec::find(name);
  if (!codec) fail("unknown protocol \"" + name + "\" (" + Ctl::MessageCodec::names() + ")");
  return codec;
}

// decode PROTOCOL HEX: prints the message in value notation.
int run_decode(const std::vector<std::string>& args) {
  const Ctl::MessageCodec* codec = codec_of(args[0]);
  if (!codec) return 1;
  std::vector<char> bytes;
  if (!Ctl::from_hex(args[1], bytes)) return fail("\"" + args[1] + "\" is not hexadecimal octets");
  std::string text, error;
  if (!codec->decode(bytes, text, error)) return fail(error);
  std::cout << text << '\n';
  return 0;
}

// encode PROTOCOL: reads a message in value notation from the standard input, prints its hex.
int run_encode(const std::vector<std::string>& args) {
  const Ctl::MessageCodec* codec = codec_of(args[0]);
  if (!codec) return 1;
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  std::vector<char> bytes;
  std::string error;
  if (!codec->encode(text, bytes, error)) return fail(error);
  std::cout << Ctl::to_hex(bytes) << '\n';
  return 0;
}

const Subcommand subcommands[] = {
    {"decode", 2, "lgcp|mon HEX      prints the message in value notation", &run_decode},
    {"encode", 1, "lgcp|mon          reads value notation on the standard input, prints hex",
     &run_encode},
};

int usage() {
  std::cerr << "usage:\n";
  for (const Subcommand& s : subcommands) {
    std::cerr << "  " << program << ' ' << s.name << ' ' << s.usage << '\n';
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const Subcommand& s : subcommands) {
    if (std::strcmp(argv[1], s.name) != 0) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    if (args.size() != s.argument_count) return usage();
    return s.run(args);
  }
  std::cerr << program << ": unknown command \"" << argv[1] << "\"\n";
  return usage();
}
