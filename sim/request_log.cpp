#include "sim/request_log.h"

#include "sim/event_loop.h"

void RequestLog::add(std::string text) {
  if (entries_.size() == kCapacity) entries_.pop_front();
  entries_.push_back(Entry{now_ms(), std::move(text)});
}

std::vector<std::string> RequestLog::lines(bool times) const {
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const Entry& e : entries_) {
    out.push_back(times ? std::to_string(e.ms) + " " + e.text : e.text);
  }
  return out;
}
