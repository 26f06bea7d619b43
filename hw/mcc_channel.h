// Channels of the multichannel HDLC controller: every open of /dev/mcc/ctl is one channel, which
// serves once it is allocated with its mode, receive packet size and thresholds.
#pragma once

#include <string>

#include "base/fd.h"
#include "hw/device_names.h"
#include "hw/mcc_records.h"

// A channel opened with open(2) `flags` (close-on-exec always) and allocated with `allocation`.
// After a failure it writes `header`, then `open_failure` or "MCC_ALLOCATE fail: ", and strerror
// to the error stream, and returns a closed Fd.
Fd OpenMccChannel(const std::string& header, int flags, mcc_allocation allocation,
                  const std::string& open_failure = "fail to open MCC device: ");
