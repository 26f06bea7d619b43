// The trace server's frame reader on a client stream in arbitrary pieces (StreamPieces, never more
// than its room) hands up exactly the bodies of the frames before the first bad header, then stops.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/proto/stream_pieces.h"
#include "proto/tpkt_tracer.h"

namespace {

struct Reading {
  std::vector<std::string> bodies;
  bool bad = false;
  bool operator==(const Reading& o) const { return bodies == o.bodies && bad == o.bad; }
};

// The strict RFC 1006 reading of a whole stream: every frame starts right after the previous
// one; version 3, reserved 0 and a length of 4 to 4 + max_body are required, else the stream
// ends there. Empty frames carry nothing; a frame cut short by the end is not complete.
Reading frames_in(const uint8_t* s, size_t n) {
  Reading out;
  for (size_t i = 0; i + TPKTTracer::header_size <= n;) {
    const size_t len = size_t(s[i + 2]) << 8 | s[i + 3];
    if (s[i] != 3 || s[i + 1] != 0 || len < TPKTTracer::header_size ||
        len > TPKTTracer::header_size + TPKTTracer::max_body) {
      out.bad = true;
      break;
    }
    if (i + len > n) break;
    if (len > TPKTTracer::header_size)
      out.bodies.emplace_back(reinterpret_cast<const char*>(s + i + 4), len - 4);
    i += len;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < StreamPieces::head) return 0;
  StreamPieces input(data, size);
  TPKTTracer::FrameReader reader;
  Reading got;
  input.feed(reader, [&](TPKTTracer::FrameReader::Step step) {
    if (step == TPKTTracer::FrameReader::Step::body)
      got.bodies.emplace_back(reader.body(), reader.body_length());
    got.bad = step == TPKTTracer::FrameReader::Step::bad;
    if (!got.bad && reader.room() > TPKTTracer::max_body) std::abort();
    return !got.bad;
  });
  if (!(got == frames_in(input.stream, input.size))) std::abort();
  return 0;
}
