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
    // Aligned PER: the list's count ends on an octet boundary, so the first command takes the
    // bits it takes alone; a later one starts at any bit and takes at most 7 more, one octet
    // more than its own bytes at most. A count of 128 takes two octets.
    size_t total = empty_size_;
    for (; next_ < all_.size() && part.size() < kCommandsPerFrame; ++next_) {
      const size_t own = size_of(all_[next_]);
      if (own == 0) continue;
      const size_t adds = own + (part.empty() ? 0 : 1) + (part.size() == 127 ? 1 : 0);
      if (!part.empty() && total + adds > kMaxBytes) break;
      part.push_back(all_[next_]);
      total += adds;
    }
    if (part.empty()) return false;
    if (encode(message, bytes)) return true;
    std::cerr << "monitoring: SNMP set commands uniq " << part[0].get_uniq().getValue() << " to "
              << part[part.size() - 1].get_uniq().getValue() << " cannot be encoded, not sent"
              << std::endl;
  }
  return false;
}
