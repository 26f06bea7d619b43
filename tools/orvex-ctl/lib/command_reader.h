// Reading LGCP commands that people write: strict value notation (asn1/avn_decoder.h in its
// strict mode), with the place of a failure given as a line and a column.
//
// CommandReader takes the input as it comes (a pipe, a terminal) and hands out whole commands.
// A command is read only from whole lines, so a number or a word cut between two reads is never
// taken for a shorter one; a command whose text ends before the value does (an open brace, a
// CHOICE without its value) waits for the lines that follow. A command that cannot be read is
// reported and skipped up to the end of its line, or of the line that closes the braces it
// opened, and reading goes on after it.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "asn1/modules/lgcp.h"

namespace Ctl {

// A place in a text, both counted from 1.
struct TextPlace {
  int line = 1;
  int column = 1;
};

// The place of `offset` in `text`, whose first character is at `start`.
TextPlace place_of(const std::string& text, size_t offset, TextPlace start = TextPlace());
// "line 2, column 19".
std::string to_string(TextPlace place);

// Reads one value strictly from `in` (blanks first skipped), refusing what aligned PER cannot
// carry. On failure `offset` is where in the stream reading failed (-1 when unknown) and `error`
// what was expected there.
bool read_value(std::istream& in, ASN1::AbstractData& value, std::streamoff& offset,
                std::string& error);
// Reads one command: a message when the text starts with "{", else a bare command put into a
// message without seq and slot. Failure as read_value.
bool read_command(std::istream& in, LGCP::Message& message, std::streamoff& offset,
                  std::string& error);
// The same, without the reason.
bool read_command(std::istream& in, LGCP::Message& message);
// Read a whole text that holds one value, or one command, and blanks after it; on failure
// `error` tells the place and the reason ("line 1, column 19: missing member timeslot (INTEGER)
// of TrunkParams").
bool read_whole_value(const std::string& text, ASN1::AbstractData& value, std::string& error);
bool read_whole_command(const std::string& text, LGCP::Message& message, std::string& error);

class CommandReader {
 public:
  enum class Result { kNeedMore, kCommand, kUnreadable };

  // Appends input.
  void add(const char* data, size_t size);
  // The input has ended: the last line needs no line end.
  void end() { ended_ = true; }
  bool ended() const { return ended_; }
  // True when the input has ended and every command has been handed out.
  bool done() const;

  // The next command in `message`, or, for one that cannot be read, the place and the reason
  // in `error`. kNeedMore when the lines read so far hold no whole command.
  Result next(LGCP::Message& message, std::string& error);

 private:
  // Where an unreadable command ends: the braces it opened and whether a string is open.
  struct Skip {
    int depth = 0;
    bool quoted = false;
    // Scans `text`: the offset after the first line end at or after `not_before` where the
    // braces are closed, or npos (the state then covers the whole text).
    size_t end_of(const std::string& text, size_t not_before);
  };

  // Drops the first `n` characters of the input, moving `place_` past them.
  void advance(size_t n);
  // Skips what is left of an unreadable command, whose end is not before `not_before`; false
  // while that end has not come.
  bool skip_rest(size_t not_before = 0);

  std::string text_;
  TextPlace place_;  // of text_[0]
  bool ended_ = false;
  bool skipping_ = false;
  Skip skip_;
};

}  // namespace Ctl
