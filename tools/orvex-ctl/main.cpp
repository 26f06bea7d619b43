// orvex-ctl: the controller's command-line tool. Each subcommand is one entry of the table
// below; `decode` and `encode` convert LGCP and MON messages between aligned PER (hex) and
// value notation; `send` talks to a running daemon (tools/orvex-ctl/send_session.h).
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/orvex-ctl/lib/hex.h"
#include "tools/orvex-ctl/lib/message_codec.h"
#include "tools/orvex-ctl/send_session.h"

namespace {

using Ctl::SendSession;

const char program[] = "orvex-ctl";

// What the usage adds after the subcommands, before and after the exit statuses of send.
const char about_send[] =
    "\n"
    "send prints every message as it goes or comes, also while it waits for more input, one\n"
    "a line: the local time, \"->\" (sent) or \"<-\" (received), and the message in value\n"
    "notation. Each wait (the connection, each answer, SIGNAL after the last answer) ends\n"
    "after TIMEOUT_MS (default 10000), whatever else arrives meanwhile. Commands are read\n"
    "strictly: every mandatory member must be named, and every value must be one its schema\n"
    "carries (a number within its range, an enumerator); a line that breaks either is\n"
    "reported with its line, column and member and is not sent.\n"
    "\n"
    "exit status of send:\n";
const char after_statuses[] =
    "  When several apply, the status is the first of 4, 3, 5 and 1 that does.\n"
    "decode and encode: 0 done, 2 wrong arguments, 5 the input cannot be read or encoded.\n";

// The exit statuses of send; the README's table lists the same, word for word.
struct StatusRow {
  int status;
  const char* meaning;
};
const StatusRow send_statuses[] = {
    {SendSession::kAllAnswered, "every command was answered with success (and SIGNAL came)"},
    {SendSession::kErrorAnswer, "an answer was an error (any response that is not success)"},
    {SendSession::kUsage, "wrong arguments (usage)"},
    {SendSession::kTimedOut, "the awaited signal (or an answer) did not come within the timeout"},
    {SendSession::kLost,
     "the connection could not be made or was lost before every answer came (or while the "
     "session still waited for input or for SIGNAL)"},
    {SendSession::kUnreadable,
     "a command could not be read (reported with its line and column, not sent; the others "
     "still run)"},
    {128 + SIGINT,
     "interrupted by Ctrl-C: the program ends by SIGINT (128 + 2 in the shell); the connection "
     "closes, so the daemon destroys the slots the session made"},
};

// "  NNN  text" with the text wrapped under itself.
void print_row(std::ostream& out, const StatusRow& row) {
  constexpr size_t kWidth = 90;
  const std::string indent(7, ' ');
  std::string number = std::to_string(row.status);
  std::string line = "  " + std::string(3 - std::min<size_t>(3, number.size()), ' ') + number +
                     "  ";
  std::istringstream words(row.meaning);
  std::string word;
  bool first = true;
  while (words >> word) {
    if (!first && line.size() + 1 + word.size() > kWidth) {
      out << line << '\n';
      line = indent;
      first = true;
    }
    line += (first ? "" : " ") + word;
    first = false;
  }
  out << line << '\n';
}

struct Subcommand {
  const char* name;
  size_t min_arguments;
  size_t max_arguments;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
};

// Reports `message`; the exit status `status`.
int fail(const std::string& message, int status) {
  std::cerr << program << ": " << message << '\n';
  return status;
}

const Ctl::MessageCodec* codec_of(const std::string& name) {
  const Ctl::MessageCodec* codec = Ctl::MessageCodec::find(name);
  if (!codec) {
    fail("unknown protocol \"" + name + "\" (" + Ctl::MessageCodec::names() + ")",
         SendSession::kUsage);
  }
  return codec;
}

// decode PROTOCOL HEX: prints the message in value notation.
int run_decode(const std::vector<std::string>& args) {
  const Ctl::MessageCodec* codec = codec_of(args[0]);
  if (!codec) return SendSession::kUsage;
  std::vector<char> bytes;
  if (!Ctl::from_hex(args[1], bytes))
    return fail("\"" + args[1] + "\" is not hexadecimal octets", SendSession::kUnreadable);
  std::string text, error;
  if (!codec->decode(bytes, text, error)) return fail(error, SendSession::kUnreadable);
  std::cout << text << '\n';
  return 0;
}

// encode PROTOCOL: reads a message in value notation from the standard input, prints its hex.
int run_encode(const std::vector<std::string>& args) {
  const Ctl::MessageCodec* codec = codec_of(args[0]);
  if (!codec) return SendSession::kUsage;
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  std::vector<char> bytes;
  std::string error;
  if (!codec->encode(text, bytes, error)) return fail(error, SendSession::kUnreadable);
  std::cout << Ctl::to_hex(bytes) << '\n';
  return 0;
}

bool parse_number(const std::string& text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0 && value <= max;
}

// send HOST PORT [SIGNAL [TIMEOUT_MS]]: a session with the daemon, commands from the standard
// input.
int run_send(const std::vector<std::string>& args) {
  SendSession::Options options;
  unsigned long port, timeout = static_cast<unsigned long>(options.timeout_ms);
  if (!parse_number(args[1], 65535, port))
    return fail("\"" + args[1] + "\" is not a port", SendSession::kUsage);
  if (args.size() > 3 && !parse_number(args[3], 3600000, timeout))
    return fail("\"" + args[3] + "\" is not a timeout in milliseconds", SendSession::kUsage);
  options.host = args[0];
  options.port = static_cast<unsigned short>(port);
  options.awaited = args.size() > 2 ? args[2] : std::string();
  options.timeout_ms = static_cast<int>(timeout);
  return SendSession(options, STDIN_FILENO, std::cout, std::cerr).run();
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

// The usage on the error stream, status 2; asked for (--help, -h), on the output, status 0.
int usage(bool asked = false) {
  std::ostream& out = asked ? std::cout : std::cerr;
  out << "usage:\n";
  for (const Subcommand& s : subcommands) {
    out << "  " << program << ' ' << s.name << ' ' << s.usage << '\n';
  }
  if (!asked) {
    out << program << " -h tells more, with the exit statuses\n";
    return SendSession::kUsage;
  }
  out << about_send;
  for (const StatusRow& row : send_statuses) print_row(out, row);
  out << after_statuses;
  return 0;
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
