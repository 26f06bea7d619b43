#include "server/startup/command_line.h"

#include <getopt.h>

#include <cctype>
#include <ostream>

#include "base/version.h"

const char usage_text[] =
    "Usage:\n"
    " orvexd -Dh\n"
    "  -D --daemon                      run as daemon\n"
    "  -p --port                        use this port\n"
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

}  // namespace

bool ParsePort(const char* text, int& port) {
  long value = 0;
  int digits = 0;
  for (const char* p = text; *p; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p)) || ++digits > 5) return false;
    value = value * 10 + (*p - '0');
  }
  if (digits == 0 || value < 1 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

int ParseCommandLine(int argc, char* argv[], CommandLine& line, std::ostream& out,
                     const std::function<void()>& disable_clock) {
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
        return usage(out, 0);
      case kDisableClock:
        if (disable_clock) disable_clock();
        break;
      case kPort:
        if (!ParsePort(optarg, line.port)) return usage(out, 2);
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
