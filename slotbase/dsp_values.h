// The values of the DSP ioctls that the mixer and RTP slots serve alike, each with the range of
// the driver record's field it goes into: a slot checks them with AllCarried before it sends
// anything, so that no value is cut.
#pragma once

#include <vector>

#include "asn1/modules/lgcp.h"
#include "asn1/modules/term.h"
#include "slotbase/device_values.h"

std::vector<DeviceValue> TranslateDtmfValues(const LGCP::TranslateDtmfParams& t);
std::vector<DeviceValue> VadValues(const LGCP::VADParams& v);
std::vector<DeviceValue> RxGainValues(const LGCP::Gain& g);
std::vector<DeviceValue> ToneFilterValues(const LGCP::ToneFilter& f);
std::vector<DeviceValue> SelcalValues(const TERM::SelcalCommand& s);
