// ISnmpAgentNotify: told when an SNMP agent link has connected, so that the whole monitoring
// state can be pushed to the agent again.
#pragma once

#include <string>

class ISnmpAgentNotify {
 public:
  virtual ~ISnmpAgentNotify() = default;
  // The link named `name` (its configured "name") is connected, or has written all that waited
  // after it dropped frames that its agent did not take in time.
  virtual void OnSnmpAgentConnect(const std::string& name) { (void)name; }
};
