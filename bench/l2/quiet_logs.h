// Sends std::clog and std::cerr nowhere: the links' log lines are not what the benchmarks
// measure.
#pragma once

#include <iostream>
#include <streambuf>

inline void quiet_logs() {
  struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
  };
  // Never destroyed: the standard streams flush into it when the program exits.
  static NullBuffer* const null_buffer = new NullBuffer;
  std::clog.rdbuf(null_buffer);
  std::cerr.rdbuf(null_buffer);
}
