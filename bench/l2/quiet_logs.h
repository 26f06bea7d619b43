// Sends std::clog and std::cerr nowhere: the links' log lines are not what the benchmarks
// measure.
#pragma once

#include <iostream>
#include <streambuf>

inline void quiet_logs() {
  struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
  };
  static NullBuffer null_buffer;
  std::clog.rdbuf(&null_buffer);
  std::cerr.rdbuf(&null_buffer);
}
