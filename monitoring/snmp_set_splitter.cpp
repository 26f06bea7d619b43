#include "monitoring/snmp_set_splitter.h"

#include <iostream>
#include <iterator>

namespace {

std::ostream& left_out(const MON::SnmpSetCommand& command) {
  return std::cerr << "monitoring: SNMP set command uniq " << command.get_uniq().getValue();
}

}  // namespace

SnmpSetSplitter::SnmpSetSplitter(const MON::SnmpSetCommands& commands)
    : all_(commands.get_commands()) {
  MON::Message empty;
  empty.get_pdu().select_command().select_snmp_set();
  std::vector<char> bytes;
  if (encode(empty, &bytes)) empty_size_ = bytes.size();
}

bool SnmpSetSplitter::encode(const ASN1::AbstractData& value, std::vector<char>* bytes) {
  bytes->clear();
  return ASN1::encode(value, &env_, std::back_inserter(*bytes));
}

size_t SnmpSetSplitter::size_of(const MON::SnmpSetCommand& command) {
  std::vector<char> bytes;
  if (empty_size_ == 0 || !encode(command, &bytes)) {
    left_out(command) << " cannot be encoded, not sent" << std::endl;
    return 0;
  }
  if (empty_size_ + bytes.size() > kMaxBytes) {
    left_out(command) << " takes " << empty_size_ + bytes.size() << " bytes, more than the "
                      << kMaxBytes << " of a frame, not sent" << std::endl;
    return 0;
  }
  return bytes.size();
}

bool SnmpSetSplitter::next(std::vector<char>* bytes) {
  while (next_ < all_.size()) {
    MON::Message message;
    auto& part = message.get_pdu().select_command().select_snmp_set().get_commands();
    std::vector<size_t> taken;
    // One byte more than the empty list: a count of 128 takes two.
    size_t total = empty_size_ + 1;
    for (; next_ < all_.size() && part.size() < kCommandsPerFrame; ++next_) {
      const size_t own = size_of(all_[next_]);
      if (own == 0) continue;
      if (!part.empty() && total + own > kMaxBytes) break;
      part.push_back(all_[next_]);
      taken.push_back(next_);
      total += own;
    }
    while (!part.empty()) {
      if (encode(message, bytes) && bytes->size() <= kMaxBytes) return true;
      if (part.size() == 1) {
        left_out(part[0]) << " does not fit a frame, not sent" << std::endl;
        break;
      }
      // The sizes fell short: the last command goes into the next frame.
      next_ = taken.back();
      taken.pop_back();
      part.resize(part.size() - 1);
    }
  }
  return false;
}
