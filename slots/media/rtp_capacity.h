// RtpCapacity: the codec capacities of the voice codec driver (/dev/voice) that every RTP slot
// factory reports, and the log header those factories open their lines with:
// NAME "[" g723 "," g729 "," g711 "," universal "]: ".
#pragma once

#include <cstdint>
#include <ostream>

#include "asn1/modules/lgcp.h"

class RtpCapacity {
 public:
  // `name` opens the log header ("rtp").
  explicit RtpCapacity(const char* name) : name_(name) {}

  // Reads the five capacities again; all are 0 first, so a kind the driver does not answer for
  // reads 0.
  void IQuery();
  // The five capacities into the resource report.
  void Fill(LGCP::Resources& report) const;
  void PutHeader(std::ostream& os) const;

  uint32_t g729 = 0;
  uint32_t g723 = 0;
  uint32_t g711 = 0;
  uint32_t g711mcc = 0;
  uint32_t universal = 0;

 private:
  const char* name_;
};
