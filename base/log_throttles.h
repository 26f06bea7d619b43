// LogThrottles: the log lines of one owner that outside input can repeat at any rate, each kind
// a ThrottledLine of its own, made when the kind first shows. A flood of one kind then writes
// one line a second, the next one carrying the count left out, and hides no line of another
// kind. A kind is a fixed text that names its lines, best their opening text: an owner has few
// of them, so the set stays small. Never make a kind of a text that outside input chooses.
//
// When the owner ends (a link or a slot destroyed, a connection closed), flush() writes, on the
// stream each kind was written to, the count that kind still owes, so that no count is lost:
//
//   logs_.write(std::cerr, "tx full", [&](std::ostream& os) { os << ext::header(this) << ...; });
//   logs_.write(std::clog, this, "ASP returned: ", "TEI ", ai, " denied");
//   ...
//   logs_.flush(this);
//     writes "<header>ASP returned (12 similar lines left out)" after 13 refused
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "base/ext_header.h"
#include "base/log_throttle.h"
#include "base/throttled_line.h"

class LogThrottles {
 public:
  // As LogThrottle::allow, for a line of `kind` that the caller writes on `os`.
  bool allow(std::ostream& os, std::string_view kind, uint32_t& left_out) {
    return at(os, kind).allow(left_out);
  }

  // As LogThrottle::write, for a line of `kind`: `text(os)` writes the whole line's text.
  template <class Text>
  bool write(std::ostream& os, std::string_view kind, Text text) {
    return at(os, kind).report(text);
  }

  // The same, the line being `owner`'s header, `kind`, then `more`. Out of line and cold: its
  // callers sit beside the paths of every frame.
  template <class Owner, class... More>
  __attribute__((noinline, cold)) void write(std::ostream& os, const Owner* owner,
                                             std::string_view kind, const More&... more) {
    write(os, kind, [&](std::ostream& line) {
      line << ext::header(owner) << kind;
      ((line << more), ...);
    });
  }

  // The owner ends: each kind with lines left out since its last line writes one more, which
  // stands for the last of them, as LogThrottle::flush has it: `head(os)`, the kind (without
  // trailing spaces, ':', ',' or '<') and the count of the others. Each count is written once:
  // the throttles start afresh.
  void flush(const std::function<void(std::ostream&)>& head);
  // The same under `owner`'s header, as its lines are written with write(os, owner, ...).
  template <class Owner>
  void flush(const Owner* owner) {
    flush([owner](std::ostream& os) { os << ext::header(owner); });
  }

 private:
  // The line of `kind`, on the stream of its first line: its count goes there too.
  ThrottledLine& at(std::ostream& os, std::string_view kind);

  // std::less<>: a kind is looked up without making a string of it.
  std::map<std::string, ThrottledLine, std::less<>> kinds_;
};
