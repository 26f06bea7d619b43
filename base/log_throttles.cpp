#include "base/log_throttles.h"

LogThrottle& LogThrottles::at(std::ostream& os, std::string_view kind) {
  auto found = kinds_.find(kind);
  if (found == kinds_.end())
    found = kinds_.emplace(std::string(kind), Kind{LogThrottle(), &os}).first;
  return found->second.throttle;
}

void LogThrottles::flush(const std::function<void(std::ostream&)>& head) {
  for (auto& [kind, entry] : kinds_) {
    uint32_t left_out = 0;
    if (!entry.throttle.flush(left_out)) continue;
    std::string_view text = kind;
    while (!text.empty() && std::string_view(" :,<").find(text.back()) != std::string_view::npos)
      text.remove_suffix(1);
    head(*entry.os);
    *entry.os << text << LogThrottle::left_out_text(left_out) << std::endl;
  }
}
