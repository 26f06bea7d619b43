#include "slots/media/rtp_capacity.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/fd.h"
#include "hw/device_names.h"
#include "hw/rtp_records.h"

void RtpCapacity::IQuery() {
  g729 = g723 = g711 = g711mcc = universal = 0;
  Fd voice(Device::open(GetVoiceDevName(), O_RDONLY));
  if (!voice) {
    const int error = errno;
    Log("voice device open fail", [&](std::ostream& os) {
      os << "device " << ext::quoted(GetVoiceDevName()) << " open fail: " << std::strerror(error);
    });
    return;
  }
  const struct {
    uint32_t selector;
    uint32_t* counter;
  } kinds[] = {{VoiceIoctl::kG729, &g729},
               {VoiceIoctl::kG723, &g723},
               {VoiceIoctl::kG711, &g711},
               {VoiceIoctl::kG711Mcc, &g711mcc},
               {VoiceIoctl::kUniversal, &universal}};
  for (const auto& kind : kinds) {
    uint32_t selector = kind.selector;
    const int n = Device::ioctl(voice.get(), VoiceIoctl::kCapacity, &selector, sizeof selector);
    if (n > 0) *kind.counter = static_cast<uint32_t>(n);
  }
}

void RtpCapacity::Fill(LGCP::Resources& report) const {
  report.set_rtp_g729(static_cast<int32_t>(g729));
  report.set_rtp_g723(static_cast<int32_t>(g723));
  report.set_rtp_g711(static_cast<int32_t>(g711));
  report.set_rtp_g711mcc(static_cast<int32_t>(g711mcc));
  report.set_universal(static_cast<int32_t>(universal));
}

void RtpCapacity::PutHeader(std::ostream& os) const {
  os << name_ << "[" << g723 << "," << g729 << "," << g711 << "," << universal << "]: ";
}
