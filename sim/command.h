// A control command (one line of sim.ctl, split into words) and its reply: one line, or a list
// of lines that the control socket ends with a line ".".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Words = std::vector<std::string>;

struct Reply {
  std::vector<std::string> lines;
  bool list = false;

  static Reply ok() { return line("ok"); }
  static Reply line(std::string text) { return Reply{{std::move(text)}, false}; }
  static Reply error(const std::string& text) { return line("error: " + text); }
  static Reply of_list(std::vector<std::string> lines) { return Reply{std::move(lines), true}; }
};

// The words of `line`, separated by spaces and tabs.
Words split_words(const std::string& line);

// A number in decimal or, with "0x", in hex, that fits 32 bits.
bool parse_u32(const std::string& text, uint32_t& value);

// `bytes` with every byte outside printable ASCII written as \xNN (and '\' as \\), so that it
// fits on one line of the control protocol.
std::string printable(const std::string& bytes);
