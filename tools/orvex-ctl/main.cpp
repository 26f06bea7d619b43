// orvex-ctl: the controller's command-line tool. Each subcommand is one entry of the table
// below; `decode` and `encode` convert LGCP and MON messages between aligned PER (hex) and
// value notation; `send` talks to a running daemon.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/orvex-ctl/lib/controller.h"
#include "tools/orvex-ctl/lib/hex.h"
#include "tools/orvex-ctl/lib/message_codec.h"

namespace {

const char program[] = "orvex-ctl";

struct Subcommand {
  const char* name;
  size_t min_arguments;
  size_t max_arguments;
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

bool parse_number(const std::string& text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0 && value <= max;
}

// send HOST PORT [SIGNAL [TIMEOUT_MS]]: connects, sends each command read from the standard
// input (LGCP messages or bare commands in value notation, one after another), prints every
// message received in value notation, and then, unless SIGNAL has come already, waits for it.
// Every wait ends after TIMEOUT_MS (default 10000). Exit status 0 when every command was
// answered and the signal came.
int run_send(const std::vector<std::string>& args) {
  unsigned long port, timeout = 10000;
  if (!parse_number(args[1], 65535, port)) return fail("\"" + args[1] + "\" is not a port");
  if (args.size() > 3 && !parse_number(args[3], 3600000, timeout))
    return fail("\"" + args[3] + "\" is not a timeout in milliseconds");
  Ctl::Controller controller;
  if (!controller.connect(args[0], static_cast<unsigned short>(port), static_cast<int>(timeout)))
    return fail(controller.error());
  const std::string awaited = args.size() > 2 ? args[2] : std::string();
  bool seen = false;
  // Prints the messages kept while waiting (they arrived first), then `last`.
  const auto print = [&](const Ctl::Received& last) {
    Ctl::Received r;
    while (!controller.kept().empty() && controller.receive(r, 0)) {
      seen = seen || r.signal_name() == awaited;
      std::cout << r.text() << '\n';
    }
    seen = seen || last.signal_name() == awaited;
    std::cout << last.text() << std::endl;
  };
  // Each command goes out as soon as it is read, so a person can type them one by one.
  char next;
  while (std::cin >> next) {
    std::cin.putback(next);
    LGCP::Message message;
    if (!Ctl::read_command(std::cin, message)) return fail("the input is not LGCP commands");
    Ctl::Received response;
    if (!controller.command(message, response, static_cast<int>(timeout)))
      return fail(controller.error());
    print(response);
  }
  while (!awaited.empty() && !seen) {
    Ctl::Received r;
    if (!controller.receive(r, static_cast<int>(timeout))) return fail(controller.error());
    print(r);
  }
  return 0;
}

const Subcommand subcommands[] = {
    {"decode", 2, 2, "lgcp|mon HEX      prints the message in value notation", &run_decode},
    {"encode", 1, 1, "lgcp|mon          reads value notation on the standard input, prints hex",
     &run_encode},
    {"send", 2, 4,
     "HOST PORT [SIGNAL [TIMEOUT_MS]]  sends the LGCP commands of the standard input,\n"
     "      prints every response and signal, then waits for SIGNAL",
     &run_send},
};

// The usage on the error stream, status 1; asked for (--help, -h), on the output, status 0.
int usage(bool asked = false) {
  std::ostream& out = asked ? std::cout : std::cerr;
  out << "usage:\n";
  for (const Subcommand& s : subcommands) {
    out << "  " << program << ' ' << s.name << ' ' << s.usage << '\n';
  }
  return asked ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return usage(true);
  for (const Subcommand& s : subcommands) {
    if (std::strcmp(argv[1], s.name) != 0) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    if (args.size() < s.min_arguments || args.size() > s.max_arguments) return usage();
    return s.run(args);
  }
  std::cerr << program << ": unknown command \"" << argv[1] << "\"\n";
  return usage();
}
