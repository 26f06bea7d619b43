// Captures of the standard streams that carry log lines (std::clog for progress, std::cerr for
// failures), for tests that check what an object logs.
#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// The lines of `text`, without their ends.
Lines split_lines(const std::string& text);

// Collects what is written on a stream while it lives, then gives the stream its buffer back.
class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream);
  ~StreamCapture();
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

  // The text written so far, and forgets it.
  std::string take();
  // The lines written so far, and forgets them.
  Lines take_lines();

 private:
  std::ostream& stream_;
  std::ostringstream text_;
  std::streambuf* old_;
};

// The three standard streams, captured while it lives.
struct LogCapture {
  StreamCapture out{std::cout};
  StreamCapture err{std::cerr};
  StreamCapture log{std::clog};
};
