#include "slots/tdm/mixer_unit.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/fd.h"
#include "hw/device_names.h"
#include "slotbase/device_values.h"
#include "slots/tdm/mixer_factory.h"
#include "slots/tdm/mixer_slots.h"

namespace Mixer {

namespace {

constexpr int32_t kTdmType = 0;

const char* error_text() { return std::strerror(errno); }

}  // namespace

int mixer_ctl(uint32_t request, void* record, size_t size) {
  Fd fd(Device::open(GetMixerDevName(), O_RDONLY));
  if (!fd) return -1;
  const int result = Device::ioctl(fd.get(), request, record, size);
  const int error = errno;
  fd.close();
  errno = error;
  return result;
}

Mixer::Mixer(MixerFactory& factory, int unit) : unit(unit), factory_(factory) {}

void Mixer::PutHeader(std::ostream& os) const { PutHeader(os, unit); }

void Mixer::PutHeader(std::ostream& os, int unit) { os << "mixer [" << unit << "]: "; }

bool Mixer::Channel2Slot(const LGCP::MixerChannel& channel, mix_slot& slot) const {
  if (!channel.is_tdm()) return false;
  slot = mix_slot{unit, kTdmType, channel.get_tdm().getValue()};
  return true;
}

void Mixer::FlushLogs() {
  logs_.flush(this);
}

template <class Text>
void Mixer::log(std::ostream& os, const char* kind, Text text) {
  logs_.write(os, kind, [&](std::ostream& line) {
    line << ext::header(this);
    text(line);
  });
}

int Mixer::channel2timeslot(int number) {
  mix_slot slot{unit, kTdmType, number};
  const int result = mixer_ctl(MixerIoctl::kTdm, &slot, sizeof slot);
  if (result >= 0) return result;
  const std::string error = error_text();
  log(std::cerr, "MIX_TDM fail", [&](std::ostream& os) {
    os << "MIX_TDM dev_no=" << unit << " type=" << kTdmType << " number=" << number
       << " fail : " << error;
  });
  return -1;
}

bool Mixer::tdm_number(const LGCP::MixerChannel& channel, int& number) {
  if (!channel.is_tdm()) {
    logs_.write(std::cerr, this, "rtp channels are not served");
    return false;
  }
  number = channel.get_tdm().getValue();
  if (number >= 0 && number < factory_.tdm_channels) return true;
  log(std::cerr, "tdm channel out of range",
      [&](std::ostream& os) { os << "tdm channel " << number << " out of range"; });
  return false;
}

bool Mixer::add(const mix_slot& rx, const mix_slot& tx, int32_t weight) {
  mix_summator request{rx, tx, weight};
  if (mixer_ctl(MixerIoctl::kRxAdd, &request, sizeof request) >= 0) return true;
  const std::string error = error_text();
  log(std::cerr, "MIX_RX_ADD fail", [&](std::ostream& os) { os << "MIX_RX_ADD fail : " << error; });
  return false;
}

int Mixer::clear(int summator) {
  mix_slot slot{unit, kTdmType, summator};
  const int result = mixer_ctl(MixerIoctl::kRxClear, &slot, sizeof slot);
  if (result < 0) return result;
  for (TdmInput* input : feeders(summator)) {
    if (add(slot, mix_slot{unit, kTdmType, input->number}, kFullWeight)) continue;
    input->summator = -1;
    log(std::cerr, "feed not put back", [&](std::ostream& os) {
      os << "summator " << summator << ": the driver did not take back the feed of input "
         << input->number << " of " << *input;
    });
  }
  return result;
}

bool Mixer::ClearTX(const LGCP::MixerChannel& channel) {
  mix_slot slot;
  if (!Channel2Slot(channel, slot)) {
    logs_.write(std::clog, this, "ClearTX error: translation fail");
    return false;
  }
  if (clear(slot.number) >= 0) return true;
  const std::string error = error_text();
  log(std::cerr, "MIX_RX_CLEAR fail", [&](std::ostream& os) {
    os << "MIX_RX_CLEAR dev_no=" << slot.dev_no << " type=" << slot.type
       << " number=" << slot.number << " fail : " << error;
  });
  return false;
}

bool Mixer::SetTX(const LGCP::MixerOutParams& params) {
  if (!ClearTX(params.get_channel())) return false;
  mix_slot rx;
  mix_slot tx;
  const auto& inputs = params.get_inputs();
  if (inputs.size() == 0) {
    if (!Channel2Slot(params.get_channel(), rx)) {
      logs_.write(std::cerr, this, "SetTX error: mixer translation fail");
      return false;
    }
    return add(rx, rx, kFullWeight);
  }
  for (const LGCP::MixerInput& input : inputs) {
    if (!Channel2Slot(params.get_channel(), rx)) {
      logs_.write(std::cerr, this, "SetTX error: translation fail [1]");
      return false;
    }
    if (!Channel2Slot(input.get_channel(), tx)) {
      logs_.write(std::cerr, this, "SetTX error: translation fail [2]");
      return false;
    }
    if (!add(rx, tx, input.get_gain().getValue())) return false;
  }
  return true;
}

template <class Kind>
Kind* Mixer::holder(int number) const {
  for (MixerSlot* s : slots) {
    auto* held = dynamic_cast<Kind*>(s);
    if (held && held->number == number) return held;
  }
  return nullptr;
}

template <class Kind>
bool Mixer::unheld(int number, const char* what) {
  const Kind* held = holder<Kind>(number);
  if (!held) return true;
  log(std::cerr, "held by a live slot",
      [&](std::ostream& os) { os << what << ' ' << number << " held by " << *held; });
  return false;
}

std::vector<int> Mixer::summed(const LGCP::MixerOutParams& params, int summator) {
  std::vector<int> numbers;
  for (const LGCP::MixerInput& input : params.get_inputs()) {
    numbers.push_back(input.get_channel().get_tdm().getValue());
  }
  if (numbers.empty()) numbers.push_back(summator);
  return numbers;
}

bool Mixer::inputs_free(int summator, const std::vector<int>& inputs) {
  for (MixerSlot* s : slots) {
    const auto* in = dynamic_cast<const TdmInput*>(s);
    const auto* out = dynamic_cast<const TdmOutput*>(s);
    for (const int input : inputs) {
      const bool held =
          (in && in->summator == summator && in->number == input) ||
          (out && out->number == summator &&
           std::find(out->inputs.begin(), out->inputs.end(), input) != out->inputs.end());
      if (!held) continue;
      log(std::cerr, "summator input held by a live slot", [&](std::ostream& os) {
        os << "summator " << summator << " input " << input << " held by " << *s;
      });
      return false;
    }
  }
  return true;
}

bool Mixer::CheckInputs(const LGCP::MixerOutParams& params) {
  const auto& inputs = params.get_inputs();
  if (factory_.mixer_inputs >= 0 && inputs.size() > static_cast<size_t>(factory_.mixer_inputs)) {
    log(std::cerr, "more inputs than a summator takes", [&](std::ostream& os) {
      os << inputs.size() << " inputs, a summator takes " << factory_.mixer_inputs;
    });
    return false;
  }
  std::vector<DeviceValue> gains;
  for (const LGCP::MixerInput& input : inputs) {
    if (!input.get_channel().is_tdm()) {
      logs_.write(std::cerr, this, "SetTX error: translation fail [2]");
      return false;
    }
    int number;
    if (!tdm_number(input.get_channel(), number)) return false;
    gains.push_back(DeviceValue{"input gain", input.get_gain().getValue(), 0, kFullWeight});
  }
  return AllCarried(gains, logs_, this);
}

Slot* Mixer::New(const LGCP::MixerOutParams& params) {
  int number;
  if (!tdm_number(params.get_channel(), number) || !unheld<TdmOutput>(number, "summator") ||
      !CheckInputs(params)) {
    return nullptr;
  }
  std::vector<int> inputs = summed(params, number);
  if (!inputs_free(number, inputs)) return nullptr;
  const std::vector<TdmInput*> feeding = feeders(number);
  const int timeslot = SetTX(params) ? channel2timeslot(number) : -1;
  const bool fed = std::all_of(feeding.begin(), feeding.end(),
                               [number](const TdmInput* in) { return in->summator == number; });
  if (timeslot < 0 || !fed) {
    // The inputs added before the failure go with it; the live inputs' feeds stay, those the
    // driver did not take back are tried once more.
    for (TdmInput* input : feeding) input->summator = number;
    clear(number);
    return nullptr;
  }
  auto* output = new TdmOutput(*this, number, timeslot);
  output->inputs = std::move(inputs);
  Register(output);
  return output;
}

Slot* Mixer::New(const LGCP::MixerInParams& params) {
  int number;
  if (!tdm_number(params.get_channel(), number) || !unheld<TdmInput>(number, "input")) {
    return nullptr;
  }
  int summator = -1;
  if (params.has_summator()) {
    if (!params.get_summator().is_tdm()) {
      logs_.write(std::cerr, this, "wrong summator coding !");
      return nullptr;
    }
    if (!tdm_number(params.get_summator(), summator) || !inputs_free(summator, {number})) {
      return nullptr;
    }
  }
  const int timeslot = channel2timeslot(number);
  if (timeslot < 0) return nullptr;
  if (summator >= 0 &&
      !add(mix_slot{unit, kTdmType, summator}, mix_slot{unit, kTdmType, number}, kFullWeight)) {
    return nullptr;
  }
  auto* input = new TdmInput(*this, number, timeslot);
  input->summator = summator;
  input->has_summator = summator >= 0;
  if (params.has_ecm()) {
    const LGCP::EchoCancelMode& ecm = params.get_ecm();
    input->echoCancel(ecm.get_ec().getValue() || ecm.get_es().getValue());
  }
  Register(input);
  return input;
}

std::vector<TdmInput*> Mixer::feeders(int summator) const {
  std::vector<TdmInput*> found;
  for (MixerSlot* s : slots) {
    auto* input = dynamic_cast<TdmInput*>(s);
    if (input && input->summator == summator) found.push_back(input);
  }
  return found;
}

bool Mixer::InputOn(int number) const { return holder<TdmInput>(number) != nullptr; }

void Mixer::Release(TdmInput& input) {
  input.StopToneGenerator();
  if (input.summator >= 0) {
    mix_summator request{mix_slot{unit, kTdmType, input.summator},
                         mix_slot{unit, kTdmType, input.number}, 0};
    if (mixer_ctl(MixerIoctl::kRxRemove, &request, sizeof request) < 0) {
      std::cerr << ext::header(this) << "MIX_RX_REMOVE rx.number=" << input.summator
                << " tx.number=" << input.number << " fail : " << error_text() << std::endl;
    }
  }
  UnRegister(&input);
  CheckForDestroy();
}

void Mixer::Release(TdmOutput& output) {
  output.StopToneGenerator();
  std::clog << ext::header(this) << "clear tdm output " << output.number << std::endl;
  clear(output.number);
  UnRegister(&output);
  CheckForDestroy();
}

void Mixer::Reset(int tdm_channels) {
  std::clog << ext::header(this) << "clear all inputs" << std::endl;
  int failures = 0;
  for (int n = 0; n < tdm_channels; ++n) {
    mix_slot slot{unit, kTdmType, n};
    if (mixer_ctl(MixerIoctl::kRxClear, &slot, sizeof slot) < 0) ++failures;
  }
  if (failures)
    std::cerr << ext::header(this) << "reset fail: " << failures << " errors." << std::endl;
}

void Mixer::Clear() {
  // A slot told may be destroyed at once and leave the list; the unit stays until all are told.
  const std::list<MixerSlot*> told(slots);
  clearing_ = true;
  for (MixerSlot* slot : told) {
    if (std::find(slots.begin(), slots.end(), slot) != slots.end()) slot->OnAbort(0);
  }
  clearing_ = false;
  CheckForDestroy();
}

void Mixer::Register(MixerSlot* slot) { slots.push_back(slot); }

void Mixer::UnRegister(MixerSlot* slot) { slots.remove(slot); }

bool Mixer::CheckForDestroy() {
  if (clearing_ || !stale || !slots.empty()) return false;
  delete this;
  return true;
}

}  // namespace Mixer
