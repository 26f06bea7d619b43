#include "hw/device_events.h"

#include <iostream>

void report_drain(Event& event, const char* name, DrainEnd end, ssize_t short_size) {
  switch (end) {
    case DrainEnd::kEmpty:
      break;
    case DrainEnd::kShort:
      std::cerr << "fail to read from " << name << ": short record of " << short_size << " bytes"
                << std::endl;
      break;
    case DrainEnd::kError:
      std::cerr << "fail to read from " << name << ": " << std::strerror(errno) << std::endl;
      break;
    case DrainEnd::kClosed:
      std::cerr << "fail to read from " << name << ": device closed" << std::endl;
      event.Release();
      break;
  }
}
