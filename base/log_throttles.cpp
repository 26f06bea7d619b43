#include "base/log_throttles.h"

LogThrottle& LogThrottles::at(std::ostream& os, std::string_view kind) {
  auto found = kinds_.find(kind);
  if (found == kinds_.end())
    found = kinds_.emplace(std::string(kind), Kind{LogThrottle(), &os}).first;
  return found->second.throttle;
}

void LogThrottles::flush(const std::function<void(std::ostream&)>& head) {
  for (auto& [kind, entry] : kinds_) {
    std::string_view text = kind;
    while (!text.empty() && std::string_view(" :,<").find(text.back()) != std::string_view::npos)
      text.remove_suffix(1);
    entry.throttle.flush(*entry.os, [&](std::ostream& os) {
      head(os);
      os << text;
    });
  }
}
