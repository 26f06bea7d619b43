// The daemon's command line.
//
//   -D, --daemon        run as a daemon
//   --port N            the control port, a decimal number from 1 to 65535 (default 20001)
//   --disable-clock     no clock control; acts at once, while the options are read
//   --version           prints "server version: " and the version once all options are read
//   -h, --help          prints the usage at once
//
// Options act in command-line order, so "-h" ends the program before later options are looked
// at. Any option the parser rejects (unknown, missing argument, a port that is no number from 1
// to 65535, and "-p", which is no short form of --port) prints the usage; a bad port is also
// named, with what is wrong with it. The usage lists what the parser takes. The help adds the environment and the
// configuration file to the usage.
#pragma once

#include <functional>
#include <iosfwd>

struct CommandLine {
  static constexpr int default_port = 20001;

  bool daemon = false;
  int port = default_port;
  bool print_version = false;
};

// The configuration file, a board path.
extern const char configFile[];

// The usage text, seven lines each ended by a line feed.
extern const char usage_text[];

// Reads argv into `line` (getopt_long; the C library prints its own diagnostic for a bad
// option on std::cerr, this parser its diagnostic for a bad port on `err`). `disable_clock` runs
// when --disable-clock is read. The usage, the help and the version go to `out`. Returns -1 when
// the daemon is to start, else the exit status: 0 after --help, 2 after a rejected option, 2
// after --version.
int ParseCommandLine(int argc, char* argv[], CommandLine& line, std::ostream& out,
                     std::ostream& err, const std::function<void()>& disable_clock);

// A control port: only decimal digits, from 1 to 65535. Null, with `port` set, for one; else
// what is wrong with `text`.
const char* ParsePort(const char* text, int& port);
