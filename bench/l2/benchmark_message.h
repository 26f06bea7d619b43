// The messages the link benchmarks send, and the one check by which every end counts them.
//
// A benchmark message is kPayload octets, the last of them 0x5A: an I frame's information field
// of 0x5A octets, or an MSU of numbered() (two octets of its number, then 0x5A). Each end, ours
// and the peers' alike, runs this same check on what reaches its layer 3 and counts what passes,
// so the bookkeeping costs both sides the same few instructions. What the peers' own layer 3
// sends (libss7's link tests, libpri's call control) is shorter, or ends otherwise, and goes on
// to it.
#pragma once

constexpr unsigned kPayload = 32;

inline bool is_benchmark_message(const unsigned char* octets, unsigned len) {
  return len == kPayload && octets[kPayload - 1] == 0x5A;
}
