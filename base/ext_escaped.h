// A text from outside the daemon (a controller's, a peer's) in a log line: between double
// quotes, with '"' and '\' escaped by a '\' and every byte outside printable ASCII written as
// \xNN (two lower-case hex digits). Such a text then cannot end the line, forge another one,
// or put raw control bytes or a NUL into the log:
//
//   os << "cid=" << ext::escaped(cid);    writes  cid="12\x0a34"
#pragma once

#include <ostream>
#include <string_view>

namespace ext {

struct OutEscaped {
  std::string_view text;
};

inline OutEscaped escaped(std::string_view text) { return OutEscaped{text}; }

std::ostream& operator<<(std::ostream& os, const OutEscaped& e);

}  // namespace ext
