// Trace text of one ISDN D-channel frame: a hex dump, the direction, the LAPD frame kind with
// SAPI and TEI, and for I and broadcast UI frames the Q.931 call reference, message type and
// every information element with a decoding of its octets.
//
// The decoder is a pure function of the frame's bytes. It reads nothing outside the frame, and
// no printer reads past its element's length; the text is cut to fit the caller's buffer and is
// always NUL-terminated. Octets that a trace copies as characters (numbers, display text) are
// written as '.' when they are not printable, so a frame cannot add lines to the log.
#pragma once

namespace ISDN {

// Size of the trace buffer of the LAPD links.
constexpr unsigned kLogbufSize = 1024;
// The one trace buffer of the link layers (the event loop is single-threaded).
extern char logbuf[kLogbufSize];

// Writes the text of frame[0, length) into out (at most out_size octets with the terminating
// NUL). direction non-zero: "network->user", zero: "user->network". A frame of 2 octets or fewer
// gives an empty text.
void dlogframe(const unsigned char* frame, unsigned length, int direction, char* out,
               unsigned out_size = kLogbufSize);

// Writes `count` bits of *octet as '0' and '1', from bit `start` (8 the most significant)
// downwards; no terminating NUL. Returns the characters written.
int printbits(char* out, const unsigned char* octet, int start, int count);

// The position after the first octet of [p, end) whose bit 8 is set (the end of an extended
// octet group), or end when there is none.
const unsigned char* skipext(const unsigned char* p, const unsigned char* end);

}  // namespace ISDN
