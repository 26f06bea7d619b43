// The relay's record reader on a stream in arbitrary pieces (StreamPieces) delivers exactly the
// records a whole-stream reading finds (length first, 12 to 512, else the stream ends) and every
// body decodes without reading past its record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/proto/stream_pieces.h"
#include "slots/media/auth_records.h"

namespace {

std::vector<std::string> records_in(const uint8_t* s, size_t n) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i + 4 <= n) {
    const uint32_t length =
        uint32_t(s[i]) << 24 | uint32_t(s[i + 1]) << 16 | uint32_t(s[i + 2]) << 8 | s[i + 3];
    if (length < Auth::kHeaderSize || length > Auth::kMaxRecord || i + length > n) break;
    out.emplace_back(reinterpret_cast<const char*>(s + i), length);
    i += length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < StreamPieces::head) return 0;
  StreamPieces pieces(data, size);
  const std::vector<std::string> expected = records_in(pieces.stream, pieces.size);

  Auth::Reader reader;
  std::vector<std::string> got;
  pieces.feed(reader, [&](Auth::Reader::Result step) {
    if (step != Auth::Reader::kRecord) return step == Auth::Reader::kMore;
    const attr& r = reader.record();
    got.push_back(r.bytes);
    if (r.type() == Auth::kRequest && r.length() == Auth::kRequestSize) {
      voauth a(r);
      if (a.username.size() > Auth::kTextSize || a.password.size() > Auth::kTextSize) std::abort();
    }
    if (r.type() == Auth::kAccounting && r.length() == Auth::kAccountingSize) voacct c(r);
    return true;
  });
  if (got != expected) std::abort();
  return 0;
}
