#include "sim/mixer.h"

#include <cerrno>

#include "sim/record.h"

namespace {

std::string n(int32_t v) { return std::to_string(v); }

std::string slot_text(const mix_slot& s) {
  return n(s.dev_no) + "/" + n(s.type) + "/" + n(s.number);
}

}  // namespace

int MixerModel::check(const mix_slot& slot, Unit*& unit) {
  auto found = units_.find(slot.dev_no);
  if (found == units_.end()) return ENODEV;
  unit = &found->second;
  return slot.type == 0 && slot.number >= 0 && slot.number < unit->tdm ? 0 : EINVAL;
}

IoctlResult MixerModel::summator(uint32_t request, IoctlCall& call) {
  mix_summator s;
  if (!read_record(call, s)) return {-1, EINVAL};
  Unit* unit = nullptr;
  Unit* tx_unit = nullptr;
  if (int error = check(s.rx, unit)) return {-1, error};
  if (int error = check(s.tx, tx_unit)) return {-1, error};
  if (unit != tx_unit) return {-1, EINVAL};
  auto& inputs = unit->summators[s.rx.number];
  if (request == MixerIoctl::kRxRemove) {
    if (inputs.erase(s.tx.number) == 0) return {-1, ENOENT};
    return {0, 0};
  }
  if (!inputs.count(s.tx.number) && static_cast<int32_t>(inputs.size()) >= unit->summator_inputs) {
    return {-1, ENOSPC};
  }
  inputs[s.tx.number] = s.weight;
  return {0, 0};
}

int32_t MixerModel::channel(int32_t dev, int32_t number) {
  const auto key = std::make_pair(dev, number);
  auto found = channels_.find(key);
  if (found == channels_.end()) {
    found = channels_.emplace(key, kFirstChannel + static_cast<int32_t>(channels_.size())).first;
  }
  return found->second;
}

IoctlResult MixerModel::on_ioctl(Session&, IoctlCall& call) {
  mix_slot slot;
  Unit* unit = nullptr;
  switch (call.request) {
    case MixerIoctl::kRxAdd:
    case MixerIoctl::kRxRemove:
      return summator(call.request, call);
    case MixerIoctl::kRxClear:
      if (!read_record(call, slot)) return {-1, EINVAL};
      if (int error = check(slot, unit)) return {-1, error};
      unit->summators.erase(slot.number);
      return {0, 0};
    case MixerIoctl::kTdm: {
      if (!read_record(call, slot)) return {-1, EINVAL};
      if (int error = check(slot, unit)) return {-1, error};
      return {channel(slot.dev_no, slot.number), 0};
    }
    case MixerIoctl::kEnumerate: {
      mix_unit_info info;
      if (!read_record(call, info)) return {-1, EINVAL};
      auto next = units_.upper_bound(info.dev_no);
      if (next == units_.end()) return {-1, ENODEV};
      info = mix_unit_info{next->first, next->second.tdm, 0, next->second.summator_inputs};
      write_record(call, info);
      return {0, 0};
    }
    default:
      return {-1, ENOTTY};
  }
}

std::string MixerModel::decode(const IoctlCall& call) const {
  mix_slot slot;
  mix_summator s;
  mix_unit_info info;
  switch (call.request) {
    case MixerIoctl::kRxClear:
      return read_record(call, slot) ? "MIX_RX_CLEAR " + slot_text(slot) : "";
    case MixerIoctl::kTdm:
      return read_record(call, slot) ? "MIX_TDM " + slot_text(slot) : "";
    case MixerIoctl::kRxAdd:
      return read_record(call, s) ? "MIX_RX_ADD rx=" + slot_text(s.rx) + " tx=" + slot_text(s.tx) +
                                        " weight=" + n(s.weight)
                                  : "";
    case MixerIoctl::kRxRemove:
      return read_record(call, s) ? "MIX_RX_REMOVE rx=" + slot_text(s.rx) + " tx=" + slot_text(s.tx)
                                  : "";
    case MixerIoctl::kEnumerate:
      return read_record(call, info) ? "MIX_ENUMERATE dev_no=" + n(info.dev_no) : "";
    default:
      return "";
  }
}

bool MixerModel::command(const Words& words, Reply& reply) {
  if (words[0] != "mixer") return false;
  const std::string verb = words.size() > 1 ? words[1] : "";
  int32_t dev = 0, tdm = 0, summators = 0, out = 0;
  const bool has_dev = words.size() > 2 && parse_i32(words[2], dev);
  if (verb == "add" && words.size() == 5 && has_dev && parse_i32(words[3], tdm) &&
      parse_i32(words[4], summators) && tdm >= 0 && summators >= 0) {
    units_[dev] = Unit{tdm, summators, {}};
    reply = Reply::ok();
  } else if (verb == "remove" && words.size() == 3 && has_dev) {
    reply = units_.erase(dev) ? Reply::ok() : Reply::error("no unit " + words[2]);
  } else if (verb == "summator" && words.size() == 4 && has_dev && parse_i32(words[3], out)) {
    auto unit = units_.find(dev);
    if (unit == units_.end()) {
      reply = Reply::error("no unit " + words[2]);
    } else {
      std::vector<std::string> lines;
      for (const auto& input : unit->second.summators[out]) {
        lines.push_back(n(input.first) + " " + n(input.second));
      }
      reply = Reply::of_list(lines);
    }
  } else if (verb == "tdm" && words.size() == 4 && has_dev && parse_i32(words[3], out)) {
    reply = Reply::line(n(channel(dev, out)));
  } else {
    reply = Reply::error(
        "usage: mixer add DEV TDM SUMMATORS | remove DEV | summator DEV OUT | tdm DEV N");
  }
  return true;
}
