// RequestLog: what a device was asked, line by line, each with the time it arrived (ms on the
// simulator's monotonic clock). It keeps the newest kCapacity lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class RequestLog {
 public:
  static constexpr size_t kCapacity = 100000;

  void add(std::string text);
  // The lines; with `times`, each opened by its time and a space.
  std::vector<std::string> lines(bool times) const;

 private:
  struct Entry {
    uint64_t ms;
    std::string text;
  };
  std::deque<Entry> entries_;
};
