// The input of the stream fuzz targets: byte 0 picks the largest piece (bit 7 is left to the
// target), bytes 1-4 seed the cuts, the rest is the stream, handed over in pieces of 1 to the
// largest piece bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

class StreamPieces {
 public:
  static constexpr size_t head = 5;

  // `size` is at least head.
  StreamPieces(const uint8_t* data, size_t size)
      : stream(data + head), size(size - head), flag((data[0] & 0x80) != 0) {
    static const unsigned largest_piece[] = {1, 2, 3, 7, 64, 1000, 70000, 70000};
    largest_ = largest_piece[data[0] & 7];
    std::memcpy(&seed_, data + 1, 4);
    seed_ |= 1;
  }

  // The size of the next piece when `left` bytes are left: 1 to left.
  size_t next(size_t left) {
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    return std::min<size_t>(left, 1 + seed_ % largest_);
  }

  // Hands the stream to `reader` (room(), space(), took()) in the pieces, never more than its
  // room; `step` gets each took() result and says whether to go on.
  template <class Reader, class Step>
  void feed(Reader& reader, Step step) {
    for (size_t at = 0; at < size;) {
      for (size_t piece = next(size - at); piece > 0;) {
        const auto n = static_cast<decltype(reader.room())>(std::min<size_t>(piece, reader.room()));
        if (n == 0) std::abort();
        std::memcpy(reader.space(), stream + at, n);
        at += n;
        piece -= n;
        if (!step(reader.took(n))) return;
      }
    }
  }

  const uint8_t* const stream;
  const size_t size;
  // Bit 7 of byte 0.
  const bool flag;

 private:
  unsigned largest_;
  uint32_t seed_;
};
