#include "tests/support/stream_capture.h"

StreamCapture::StreamCapture(std::ostream& stream)
    : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}

StreamCapture::~StreamCapture() { stream_.rdbuf(old_); }

std::string StreamCapture::take() {
  std::string text = text_.str();
  text_.str("");
  return text;
}

Lines StreamCapture::take_lines() {
  std::istringstream text(take());
  Lines lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}
