// The board's device files, named in one place. These are the board paths; the device seam
// (base/device.h) puts the path root in front when it opens them.
#pragma once

const char* GetVoiceDevName();
const char* GetMixerDevName();
const char* GetDTMFDevName();
const char* GetDSPDevName();
const char* GetRtpDevName();
const char* GetRtpExtDevName();
const char* GetModemDevName();
const char* GetMccDevName();
const char* GetMaintenance();
const char* GetSpiTdmDevName();
