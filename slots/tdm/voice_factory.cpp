#include "slots/tdm/voice_factory.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/fd.h"
#include "hw/mcc_channel.h"
#include "slots/tdm/voice_slots.h"

namespace {

constexpr uint32_t kTransparent = 2;
constexpr uint32_t kRxPacketSize = 1024;
constexpr uint32_t kThreshold = 5;

}  // namespace

VoiceFactory& VoiceFactory::instance() {
  static VoiceFactory factory;
  return factory;
}

void VoiceFactory::PutHeader(std::ostream& os) const { os << "voice/mcc[0]: "; }

Slot* VoiceFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_voice) return nullptr;
  const auto& voice = static_cast<const LGCP::VoiceParams&>(*params.getSelection());
  if (voice.is_record()) return CreateRecord(dhost2str(voice.get_record()));
  return CreatePlay(voice.get_player());
}

namespace {

// A transparent channel opened with `flags` and allocated with `allocation`, and in `channel`
// its switch channel; closed, after a line on std::cerr, when any step fails.
Fd open_channel(VoiceFactory& factory, int flags, const char* direction,
                mcc_allocation allocation, int& channel) {
  std::ostringstream header;
  factory.PutHeader(header);
  Fd fd = OpenMccChannel(header.str(), flags | O_NONBLOCK, allocation,
                         "fail to open " + std::string(GetMccDevName()) + " device for " +
                             direction + ": ");
  if (!fd) return fd;
  channel = Device::ioctl(fd.get(), MccIoctl::kTimeslot, 0ul);
  if (channel < 0) {
    factory.refusalLogs.write(std::cerr, &factory, "MCC_TIMESLOT request failed.");
    return Fd();
  }
  return fd;
}

}  // namespace

PlaySlotGeneric* VoiceFactory::CreatePlay(const LGCP::PlayerParams& params) {
  int channel = -1;
  Fd fd = open_channel(*this, O_WRONLY, "writing", {kTransparent, kRxPacketSize, 0, 0, kThreshold},
                       channel);
  if (!fd) return nullptr;
  PlaySlotGeneric* slot;
  if (params.is_network()) {
    slot = new PlaySlotNetwork(std::move(fd), channel, params.get_network());
  } else if (params.is_file()) {
    slot = new PlaySlotFile(std::move(fd), channel, params.get_file());
  } else {
    return nullptr;  // an extension this daemon does not know
  }
  players_.push_back(slot);
  return slot;
}

RecordSlot* VoiceFactory::CreateRecord(const std::string& host) {
  int channel = -1;
  Fd fd = open_channel(*this, O_RDONLY, "reading", {kTransparent, kRxPacketSize, 0, kThreshold, 0},
                       channel);
  if (!fd) return nullptr;
  auto* slot = new RecordSlot(std::move(fd), channel, host);
  recorders_.push_back(slot);
  return slot;
}
