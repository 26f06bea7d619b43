#include "slotbase/device_values.h"

const DeviceValue* FirstNotCarried(const std::vector<DeviceValue>& values) {
  for (const DeviceValue& v : values) {
    if (v.value < v.low || v.value > v.high) return &v;
  }
  return nullptr;
}
