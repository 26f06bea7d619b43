#include "server/startup/command_line.h"

#include <getopt.h>

#include <cctype>
#include <ostream>

#include "base/path.h"
#include "base/version.h"

const char configFile[] = "/usr/local/etc/server.conf";

const char usage_text[] =
    "Usage:\n"
    " orvexd -Dh\n"
    "  -D --daemon                      run as daemon\n"
    "     --port PORT                   use this port (1 to 65535, default 20001)\n"
    "     --disable-clock               disable clock control\n"
    "     --version                     print version\n"
    "  -h --help                        display this information\n";

namespace {

enum LongOnly { kPort = 256, kDisableClock, kVersion };

const option long_options[] = {
    {"daemon", no_argument, nullptr, 'D'},
    {"disable-clock", no_argument, nullptr, kDisableClock},
    {"port", required_argument, nullptr, kPort},
    {"version", no_argument, nullptr, kVersion},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

int usage(std::ostream& out, int status) {
  out << usage_text << std::endl;
  return status;
}

// The usage, then where the daemon finds the board and its configuration.
int help(std::ostream& out) {
  out << usage_text << "\n"
      << "Environment:\n"
      << "  ORVEXD_ROOT                      the board's root: every fixed path of the board\n"
      << "                                   is taken under it (unset or empty: /)\n"
      << "Configuration file:\n"
      << "  " << Path::board(configFile) << std::endl;
  return 0;
}

}  // namespace

const char* ParsePort(const char* text, int& port) {
  long value = 0;
  int digits = 0;
  const char* p = text;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    // Leading zeros are not among the five digits a port may have.
    if (value > 0 || *p != '0') ++digits;
    if (digits <= 5) value = value * 10 + (*p - '0');
  }
  if (p == text) return "not a number";
  if (*p) return "trailing characters after the number";
  if (digits > 5 || value < 1 || value > 65535) return "out of range 1 to 65535";
  port = static_cast<int>(value);
  return nullptr;
}

int ParseCommandLine(int argc, char* argv[], CommandLine& line, std::ostream& out,
                     std::ostream& err, const std::function<void()>& disable_clock) {
  opterr = 1;
  // 0 rather than 1 makes getopt start afresh, also when it was used before in this process.
  optind = 0;
  for (;;) {
    int c = getopt_long(argc, argv, "Dh", long_options, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'D':
        line.daemon = true;
        break;
      case 'h':
        return help(out);
      case kDisableClock:
        if (disable_clock) disable_clock();
        break;
      case kPort:
        if (const char* problem = ParsePort(optarg, line.port)) {
          err << argv[0] << ": --port \"" << optarg << "\": " << problem << std::endl;
          return usage(out, 2);
        }
        break;
      case kVersion:
        line.print_version = true;
        break;
      default:
        return usage(out, 2);
    }
  }
  if (line.print_version) {
    out << "server version: " << Version::current << std::endl;
    return 2;
  }
  return -1;
}
