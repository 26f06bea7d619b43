#include "slots/tdm/echo_factory.h"

#include <algorithm>
#include <iostream>
#include <iterator>

EchoFactory& EchoFactory::instance() {
  static EchoFactory factory;
  return factory;
}

void EchoFactory::Scan() {
  std::fill(std::begin(present), std::end(present), false);
  std::clog << "Scanning echo channels ..." << std::endl;
}

Slot* EchoFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_echo) return nullptr;
  const unsigned bus = static_cast<unsigned>(params.get_echo().get_bus().getValue());
  if (bus >= kBuses || !present[bus]) {
    refusalLogs.write(std::cerr, this, "no echo bus ", params.get_echo().get_bus().getValue());
  }
  // No echo channel slot exists for a bus that is present either.
  return nullptr;
}

void EchoFactory::Query(LGCP::Resources& report) {
  for (unsigned bus = 0; bus < kBuses; ++bus) {
    if (!present[bus]) continue;
    ASN1::INTEGER n;
    n = static_cast<int32_t>(bus);
    report.get_echoBus().push_back(n);
  }
}
