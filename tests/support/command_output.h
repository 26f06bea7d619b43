// Shell commands for the tests that check a format with an independent tool (tshark and
// text2pcap).
#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_root.h"
#include "tools/orvex-ctl/lib/hex.h"

// What `command` prints on its standard output; its standard error is dropped.
inline std::string output_of(const std::string& command) {
  std::string text;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    ::pclose(p);
  }
  return text;
}

// `bytes` as upper-case hex digits.
inline std::string hex(const std::string& bytes) {
  return Ctl::to_hex(std::vector<char>(bytes.begin(), bytes.end()));
}

// What tshark prints for `packets` (each in hex digits) wrapped by text2pcap with `headers`
// (e.g. "-u 5004,5006" or "-T 1000,2000") between 127.0.0.1 and 127.0.0.2; `args` are tshark's
// (e.g. "-d udp.port==5006,rtp -T fields -e rtp.seq").
inline std::string tshark_of(const std::vector<std::string>& packets, const std::string& headers,
                             const std::string& args) {
  TempRoot dir;
  {
    std::ofstream text(dir.path() + "/in.txt");
    for (const std::string& p : packets) {
      text << "0000";
      for (size_t i = 0; i + 1 < p.size(); i += 2) text << ' ' << p.substr(i, 2);
      text << '\n';
    }
  }
  if (output_of("text2pcap -q -4 127.0.0.1,127.0.0.2 " + headers + " " + dir.path() + "/in.txt " +
                dir.path() + "/in.pcap") != "")
    return "text2pcap failed";
  return output_of("tshark -r " + dir.path() + "/in.pcap " + args);
}
