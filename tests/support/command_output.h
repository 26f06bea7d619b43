// The standard output of a shell command, for the tests that check a format with an independent
// tool (tshark, text2pcap, a Python oracle). Shared by the RTP slot and radio tests.
#pragma once

#include <cstdio>
#include <string>

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
