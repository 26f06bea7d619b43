// SnmpSetSplitter: cuts a list of SNMP set commands into snmp-set MON messages that each fit one
// TPKT frame: at most kCommandsPerFrame commands, the most an aligned-PER decoder of the MON schema
// takes in one SEQUENCE OF, and at most Control::Service::max_message encoded bytes. The commands
// keep their order. A command that cannot be encoded, or that does not fit a frame on its own, is
// left out with a log line.
//
// Each command is encoded once alone to learn its size, and each frame once whole, from sizes
// that bound its length from above (next()).
#pragma once

#include <cstddef>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/mon.h"
#include "proto/control_service.h"

class SnmpSetSplitter {
 public:
  static constexpr size_t kCommandsPerFrame = 128;
  static constexpr size_t kMaxBytes = Control::Service::max_message;

  // `commands` must outlive the splitter.
  explicit SnmpSetSplitter(const MON::SnmpSetCommands& commands);

  // The next frame: one encoded MON::Message whose pdu is the snmp-set command. False when no
  // command is left.
  bool next(std::vector<char>* bytes);

 private:
  // The command's bytes when encoded alone, or 0 (logged) when it cannot go into any frame.
  size_t size_of(const MON::SnmpSetCommand& command);
  bool encode(const ASN1::AbstractData& value, std::vector<char>* bytes);

  const ASN1::SEQUENCE_OF<MON::SnmpSetCommand>& all_;
  size_t next_ = 0;
  // The encoded message with an empty command list.
  size_t empty_size_ = 0;
  ASN1::CoderEnv env_{ASN1::CoderEnv::per_Aligned};
};
