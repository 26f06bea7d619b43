// LineThrottles: the log lines of one link that its far end (or its owner) can repeat at any
// rate, each kind under a LogThrottle of its own, made when the kind first shows. A flood of one
// kind then writes one line a second, the next one carrying the count left out, and hides no
// line of another kind. A kind is the opening text of its lines (a fixed text, a status text):
// a link has few of them, so the map stays small.
//
//   logs_.write(std::clog, this, "ASP returned: ", "TEI ", ai, " denied");
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "base/ext_header.h"
#include "base/log_throttle.h"

class LineThrottles {
 public:
  // As LogThrottle::allow, for the lines of `kind`.
  template <class Kind>
  bool allow(const Kind& kind, uint32_t& left_out) {
    auto at = throttles_.find(kind);
    if (at == throttles_.end()) at = throttles_.emplace(std::string(kind), LogThrottle()).first;
    return at->second.allow(left_out);
  }

  // One line on `os` unless the throttle of `kind` holds it back: `owner`'s header, `kind`,
  // `more`, the count left out. Out of line: its callers sit beside the paths of every frame.
  template <class Owner, class Kind, class... More>
  __attribute__((noinline, cold)) void write(std::ostream& os, const Owner* owner,
                                             const Kind& kind, const More&... more) {
    uint32_t left_out = 0;
    if (!allow(kind, left_out)) return;
    os << ext::header(owner) << kind;
    ((os << more), ...);
    os << LogThrottle::left_out_text(left_out) << std::endl;
  }

 private:
  // std::less<>: a kind given as a C string is looked up without making a string of it.
  std::map<std::string, LogThrottle, std::less<>> throttles_;
};
