#include "tests/support/stream_capture.h"

StreamCapture::StreamCapture(std::ostream& stream)
    : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}

StreamCapture::~StreamCapture() { stream_.rdbuf(old_); }

std::string StreamCapture::take() {
  std::string text = text_.str();
  text_.str("");
  return text;
}

Lines split_lines(const std::string& text) {
  std::istringstream in(text);
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Lines StreamCapture::take_lines() { return split_lines(take()); }
