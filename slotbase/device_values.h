// The values that commands give for fields of device records. A value its field cannot carry
// is refused with invalidParams before anything is sent, never cut:
//
//   if (!AllCarried({Carried<uint16_t>("freq", f.get_freq().getValue())}, refusalLogs, this))
//     return false;
#pragma once

#include <cstdint>
#include <iostream>
#include <limits>
#include <vector>

#include "base/ext_header.h"
#include "base/log_throttles.h"
#include "slotbase/slots.h"

struct DeviceValue {
  // The command's name of the value, for the log line.
  const char* name;
  int64_t value;
  // The range the field carries.
  int64_t low;
  int64_t high;
};

// `value` for a field of the integer type Field.
template <class Field>
DeviceValue Carried(const char* name, int64_t value) {
  return DeviceValue{name, value, static_cast<int64_t>(std::numeric_limits<Field>::min()),
                     static_cast<int64_t>(std::numeric_limits<Field>::max())};
}

// The first of `values` outside its range; null when every one is inside.
const DeviceValue* FirstNotCarried(const std::vector<DeviceValue>& values);

// True when every value is inside its range. Else, for the first that is not, the line
// "<owner's header>NAME VALUE out of range LOW..HIGH" on std::cerr as `logs` allow, the cause
// invalidParams named for the refusal of the command being carried out, and false.
template <class Owner>
bool AllCarried(const std::vector<DeviceValue>& values, LogThrottles& logs, const Owner* owner) {
  const DeviceValue* refused = FirstNotCarried(values);
  if (!refused) return true;
  logs.write(std::cerr, "value out of range", [&](std::ostream& os) {
    os << ext::header(owner) << refused->name << ' ' << refused->value << " out of range "
       << refused->low << ".." << refused->high;
  });
  Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
  return false;
}
