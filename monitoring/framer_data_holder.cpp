#include "monitoring/framer_data_holder.h"

#include <cstdlib>
#include <cstring>

const char FramerDataHolder::kStateLabel[] = "Current state           : ";
const char FramerDataHolder::kSignalLossLabel[] = "Loss of Signal          : ";
const char FramerDataHolder::kFrameAlignLossLabel[] = "Loss of Frame Alignment : ";
const char FramerDataHolder::kSlipNegativeLabel[] = "Receive Slip Negative   : ";
const char FramerDataHolder::kSlipPositiveLabel[] = "Receive Slip Positive   : ";

namespace {

// The text after `label` in `line`, when the line carries the label anywhere.
bool value_after(const std::string& line, const char* label, std::string& value) {
  const size_t at = line.find(label);
  if (at == std::string::npos) return false;
  value = line.substr(at + std::strlen(label));
  return true;
}

template <class T>
bool store(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

FramerDataHolder::FramerDataHolder(int number_, const std::string& path_)
    : number(number_), path(path_) {}

bool FramerDataHolder::apply_line(const std::string& line) {
  bool changed = false;
  std::string value;
  if (value_after(line, kStateLabel, value) && store(state, value)) {
    connected = state != "No Carrier";
    changed = true;
  }
  if (value_after(line, kSignalLossLabel, value)) changed |= store(loss_of_signal, value == "yes");
  if (value_after(line, kFrameAlignLossLabel, value))
    changed |= store(loss_of_frame_alignment, value == "yes");
  if (value_after(line, kSlipNegativeLabel, value))
    changed |= store(slips_negative, int32_t(std::strtol(value.c_str(), nullptr, 10)));
  if (value_after(line, kSlipPositiveLabel, value))
    changed |= store(slips_positive, int32_t(std::strtol(value.c_str(), nullptr, 10)));
  return changed;
}

bool FramerDataHolder::setFramerStatus(const std::vector<unsigned char>& data) {
  if (data.empty()) return false;
  const char* text = reinterpret_cast<const char*>(data.data());
  const std::string all(text, strnlen(text, data.size()));
  bool changed = false;
  size_t begin = 0;
  while (begin < all.size()) {
    size_t end = all.find('\n', begin);
    if (end == std::string::npos) end = all.size();
    changed |= apply_line(all.substr(begin, end - begin));
    begin = end + 1;
  }
  return changed;
}
