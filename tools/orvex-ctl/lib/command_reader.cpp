#include "tools/orvex-ctl/lib/command_reader.h"

#include <cctype>
#include <istream>
#include <sstream>

#include "asn1/avn_decoder.h"

namespace Ctl {

namespace {

bool blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The first character at or after `from` that is not blank, or npos.
size_t first_non_blank(const std::string& text, size_t from, size_t end) {
  for (size_t i = from; i < end; ++i) {
    if (!blank(text[i])) return i;
  }
  return std::string::npos;
}

// Where the stream's get position stands, whatever its state flags.
size_t position(std::istream& in, size_t otherwise) {
  const std::streamoff at = in.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  return at < 0 ? otherwise : static_cast<size_t>(at);
}

}  // namespace

TextPlace place_of(const std::string& text, size_t offset, TextPlace start) {
  TextPlace place = start;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++place.line;
      place.column = 1;
    } else {
      ++place.column;
    }
  }
  return place;
}

std::string to_string(TextPlace place) {
  return "line " + std::to_string(place.line) + ", column " + std::to_string(place.column);
}

bool read_value(std::istream& in, ASN1::AbstractData& value, std::streamoff& offset,
                std::string& error) {
  in >> std::ws;
  ASN1::AVNDecoder decoder(in, true);
  decoder.only_sendable();
  bool ok = false;
  try {
    ok = value.accept(decoder);
  } catch (...) {
    ok = false;
  }
  if (ok) return true;
  offset = decoder.error_offset();
  error = decoder.error().empty() ? "not value notation" : decoder.error();
  return false;
}

bool read_command(std::istream& in, LGCP::Message& message, std::streamoff& offset,
                  std::string& error) {
  in >> std::ws;
  message = LGCP::Message();
  if (in.peek() == '{') return read_value(in, message, offset, error);
  return read_value(in, message.get_pdu().select_command(), offset, error);
}

bool read_command(std::istream& in, LGCP::Message& message) {
  std::streamoff offset;
  std::string error;
  return read_command(in, message, offset, error);
}

namespace {

// `read` on the whole of `text`; only blanks may follow what it reads.
template <class Read>
bool read_whole(const std::string& text, std::string& error, Read read) {
  std::istringstream in(text);
  std::streamoff offset = -1;
  std::string why;
  if (read(in, offset, why)) {
    const size_t extra = first_non_blank(text, position(in, text.size()), text.size());
    if (extra == std::string::npos) return true;
    offset = static_cast<std::streamoff>(extra);
    why = "expected the end of the text";
  }
  const size_t at = offset < 0 ? text.size() : static_cast<size_t>(offset);
  error = to_string(place_of(text, at)) + ": " + why;
  return false;
}

}  // namespace

bool read_whole_value(const std::string& text, ASN1::AbstractData& value, std::string& error) {
  return read_whole(text, error, [&](std::istream& in, std::streamoff& offset, std::string& why) {
    return read_value(in, value, offset, why);
  });
}

bool read_whole_command(const std::string& text, LGCP::Message& message, std::string& error) {
  return read_whole(text, error, [&](std::istream& in, std::streamoff& offset, std::string& why) {
    return read_command(in, message, offset, why);
  });
}

size_t CommandReader::Skip::end_of(const std::string& text, size_t not_before) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '{') ++depth;
    if (c == '}') --depth;
    if (c == '\n' && i >= not_before && depth <= 0) return i + 1;
  }
  return std::string::npos;
}

void CommandReader::add(const char* data, size_t size) { text_.append(data, size); }

bool CommandReader::done() const {
  return ended_ && first_non_blank(text_, 0, text_.size()) == std::string::npos;
}

void CommandReader::advance(size_t n) {
  place_ = place_of(text_, n, place_);
  text_.erase(0, n);
}

bool CommandReader::skip_rest(size_t not_before) {
  const size_t end = skip_.end_of(text_, not_before);
  if (end == std::string::npos) {
    advance(text_.size());
    skipping_ = !ended_;
    return !skipping_;
  }
  advance(end);
  skipping_ = false;
  return true;
}

CommandReader::Result CommandReader::next(LGCP::Message& message, std::string& error) {
  if (skipping_ && !skip_rest()) return Result::kNeedMore;
  const size_t start = first_non_blank(text_, 0, text_.size());
  if (start == std::string::npos) {
    advance(text_.size());
    return Result::kNeedMore;
  }
  advance(start);
  const size_t limit = ended_ ? text_.size() : text_.rfind('\n') + 1;
  if (limit == 0) return Result::kNeedMore;

  std::istringstream in(text_.substr(0, limit));
  std::streamoff offset = -1;
  std::string why;
  if (read_command(in, message, offset, why)) {
    advance(position(in, limit));
    return Result::kCommand;
  }
  const size_t at = offset < 0 ? limit : static_cast<size_t>(offset);
  // Nothing was left to read where reading failed: the command goes on in the lines to come.
  if (!ended_ && first_non_blank(text_, at, limit) == std::string::npos) return Result::kNeedMore;
  error = to_string(place_of(text_, at, place_)) + ": " + why;
  skip_ = Skip();
  skip_rest(at);
  return Result::kUnreadable;
}

}  // namespace Ctl
