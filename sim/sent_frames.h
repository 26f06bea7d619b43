// SentFrames: the newest frames the daemon wrote on a device, oldest first, for the `sent`
// commands of the models that carry frames. Only the newest kKept are kept: the oldest goes at the
// front as each new one comes.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "sim/record.h"

class SentFrames {
 public:
  static constexpr size_t kKept = 10000;

  void add(const std::string& frame) {
    if (frames_.size() == kKept) frames_.pop_front();
    frames_.push_back(frame);
  }
  // Each frame in hex, oldest first.
  std::vector<std::string> hex_lines() const {
    std::vector<std::string> lines;
    lines.reserve(frames_.size());
    for (const std::string& frame : frames_) lines.push_back(hex_bytes(frame));
    return lines;
  }
  const std::deque<std::string>& frames() const { return frames_; }

 private:
  std::deque<std::string> frames_;
};
