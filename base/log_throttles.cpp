#include "base/log_throttles.h"

#include <tuple>

ThrottledLine& LogThrottles::at(std::ostream& os, std::string_view kind) {
  auto found = kinds_.find(kind);
  if (found == kinds_.end())
    found = kinds_
                .emplace(std::piecewise_construct, std::forward_as_tuple(kind),
                         std::forward_as_tuple(os))
                .first;
  return found->second;
}

void LogThrottles::flush(const std::function<void(std::ostream&)>& head) {
  for (auto& [kind, line] : kinds_) {
    std::string_view text = kind;
    while (!text.empty() && std::string_view(" :,<").find(text.back()) != std::string_view::npos)
      text.remove_suffix(1);
    line.flush([&](std::ostream& os) {
      head(os);
      os << text;
    });
  }
}
