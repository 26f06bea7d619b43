// TimedLog: what a device was asked or sent, in arrival order, each item with the time it
// arrived (ms on the simulator's monotonic clock). It keeps the newest kCapacity items as they
// came and makes text of them only when the lines are asked for, so that logging costs a
// request no formatting. RequestLog keeps a device's requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "sim/device_model.h"
#include "sim/event_loop.h"

template <class Item>
class TimedLog {
 public:
  static constexpr size_t kCapacity = 100000;

  void add(Item item) {
    if (entries_.size() == kCapacity) entries_.pop_front();
    entries_.push_back(Entry{now_ms(), std::move(item)});
  }

  // One line per item, `text(item)`; with `times`, each opened by its time and a space.
  template <class Text>
  std::vector<std::string> lines(bool times, Text text) const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_) {
      out.push_back(times ? std::to_string(e.ms) + " " + text(e.item) : text(e.item));
    }
    return out;
  }

 private:
  struct Entry {
    uint64_t ms;
    Item item;
  };
  std::deque<Entry> entries_;
};

using RequestLog = TimedLog<IoctlCall>;
