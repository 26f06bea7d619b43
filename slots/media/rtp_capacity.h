// RtpCapacity: the codec capacities of the voice codec driver (/dev/voice) that every RTP slot
// factory reports, and the log header those factories open their lines with:
// NAME "[" g723 "," g729 "," g711 "," universal "]: ". The lines of the creates a factory
// refuses, which a controller can repeat at any rate, are written here, at most once a second
// per kind (the factory's refusalLogs).
#pragma once

#include <cstdint>
#include <iostream>
#include <vector>

#include "asn1/modules/lgcp.h"
#include "base/log_throttles.h"
#include "slotbase/device_values.h"

class RtpCapacity {
 public:
  // `name` opens the log header ("rtp"); `logs` are the factory's, which keep the throttles of
  // the lines.
  RtpCapacity(const char* name, LogThrottles& logs) : name_(name), logs_(logs) {}

  // Reads the five capacities again; all are 0 first, so a kind the driver does not answer for
  // reads 0.
  void IQuery();
  // The five capacities into the resource report.
  void Fill(LGCP::Resources& report) const;
  void PutHeader(std::ostream& os) const;
  // Writes a line of `kind` on std::cerr, throttled per kind: the header, then `text(os)`.
  template <class Text>
  void Log(const char* kind, Text text) {
    logs_.write(std::cerr, kind, [&](std::ostream& os) {
      PutHeader(os);
      text(os);
    });
  }
  // A line of a fixed text, which is its kind.
  void Log(const char* text) { logs_.write(std::cerr, this, text); }
  // True when every value is inside its record field's range; else the create is refused with
  // invalidParams, the line under this header (AllCarried).
  bool Carries(const std::vector<DeviceValue>& values) { return AllCarried(values, logs_, this); }

  uint32_t g729 = 0;
  uint32_t g723 = 0;
  uint32_t g711 = 0;
  uint32_t g711mcc = 0;
  uint32_t universal = 0;

 private:
  const char* name_;
  LogThrottles& logs_;
};
