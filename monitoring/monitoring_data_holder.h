// MonitoringDataHolder: the board status store of the monitoring service. It keeps the last
// known value of every monitored quantity, tells its caller whether a new value is a change,
// and mirrors values into small text files under /var/monitoring/ (taken under the path root)
// that other processes of the board read. It owns the framer and network-interface records,
// made once at construction. It has no timers and sends nothing: MonitoringCtl calls it.
//
// Files are written whole: into a temporary file created exclusively beside the target (so it
// never replaces another file), given the mode fopen would give, then renamed over the target, so
// a reader sees the old content or the new one. Directories are made 0755. Temporary files left
// by a write cut short are removed, in every folder of the store, at construction. Nothing outside
// the root is written or removed (base/written_file.h): when the monitoring folder itself leads
// out of the root, one line says so at construction and the store keeps its values without
// files. SNMP set values whose section or name could leave the monitoring folder, or whose
// section is a top-level name of the store's own files, are kept but never written. The
// controller's commands can repeat the lines of such values and of failed writes at any rate:
// each kind is logged at most once a second.
#pragma once

#include <cstdint>
#include <cstdio>
#include <list>
#include <string>

#include "asn1/modules/hsp.h"
#include "asn1/modules/lgcp.h"
#include "asn1/modules/mon.h"
#include "asn1/modules/term.h"
#include "base/inet4_addr.h"
#include "base/log_throttles.h"
#include "monitoring/framer_data_holder.h"
#include "monitoring/net_if_data_holder.h"

class MonitoringDataHolder {
 public:
  // What a saver writes: the count of a term counter, or a pointer to the value.
  struct SaveStatusArg {
    int32_t count = 0;
    const void* value = nullptr;
  };
  using Saver = void (MonitoringDataHolder::*)(FILE* file, const SaveStatusArg* arg);

  static const char kMonDir[];         // "/var/monitoring/"
  static const char kTermCntsDir[];    // "/var/monitoring/term_cnts/"
  static const char kControllerDir[];  // "/var/monitoring/controller/"
  static const char kFramerFiles[];    // "/proc/driver/hdlc/peb22554/"
  static constexpr int kFramers = 4;
  static constexpr int kNetIfs = 16;

  MonitoringDataHolder();
  ~MonitoringDataHolder();
  MonitoringDataHolder(const MonitoringDataHolder&) = delete;
  MonitoringDataHolder& operator=(const MonitoringDataHolder&) = delete;

  // Setters of the polling; each is true exactly when it stored a new value.
  bool setDipValue(int value);
  bool setPowerStatus(const LGCP::POWERStatus& status);
  bool setConfigVersion(unsigned long first, unsigned long long second);
  bool setTemperature(const std::string& text) { return set_text(temperature, text); }
  bool setBuildVersion(const std::string& text) { return set_text(build_version, text); }
  bool setFPGAVersion(const std::string& text) { return set_text(fpga_version, text); }
  bool setBootVersion(const std::string& text) { return set_text(boot_version, text); }
  bool setBoardVersion(const std::string& text) { return set_text(board_version, text); }
  // True only when the status of the controller on the self address changed.
  bool setControllerStatus(const LGCP::ControllerInfo& info);

  // The controller's display command.
  void setDisplayStatus(const LGCP::DisplayParams& params);
  void setBoardStatus(const LGCP::BoardInfo& info);
  void setEmPhoneInfo(const LGCP::EmPhoneInfo& info);
  void setTermCounter(const LGCP::TermCounter& counter);
  void setSnmpTrapReceivers(const ASN1::SEQUENCE_OF<ASN1::IA5String>& list);
  void setSnmpCommands(const MON::SnmpSetCommands& commands);
  void setFramerStatusChanged(const LGCP::FramerInfo&) {}

  // Empties the top level of the monitoring folder (non-empty subfolders stay).
  void ClearMonitorFiles();
  // The controller went away: the board files go, and the boards are forgotten.
  void ClearControllerFiles();
  // Makes the folder `path` (rooted) when it does not open.
  void CheckForMonDir(const std::string& path);
  // Makes the controller folders and, for a new folder of the self address, the "self" link.
  void CheckForMonControllerDir(const INet4::Addr& addr);
  // Writes the file `path` (rooted) whole through `saver`.
  void SaveStatusToFile(const std::string& path, Saver saver, const SaveStatusArg* arg);

  void DipStatusSaver(FILE* file, const SaveStatusArg* arg);
  void PowerStatusSaver(FILE* file, const SaveStatusArg* arg);
  void ConfigVersionSaver(FILE* file, const SaveStatusArg* arg);
  void BoardStatusSaver(FILE* file, const SaveStatusArg* arg);
  void PhoneStatusSaver(FILE* file, const SaveStatusArg* arg);
  void TermCounterSaver(FILE* file, const SaveStatusArg* arg);
  void ControllerStatusSaver(FILE* file, const SaveStatusArg* arg);
  void StringParamSaver(FILE* file, const SaveStatusArg* arg);

  INet4::Addr self_address;
  HSP::ControllerStatus own_controller_status;
  int32_t controller_pid = -1;
  std::list<LGCP::ControllerInfo> controllers;
  LGCP::POWERStatus power_status;
  std::list<LGCP::BoardStatusParams> boards;
  std::list<LGCP::EmPhoneStatusParams> em_phones;
  std::list<LGCP::TermCounter> term_counters;
  std::list<std::string> trap_receivers;
  int32_t dip_value = -1;
  uint64_t config_version64 = ~uint64_t(0);
  uint32_t config_version32 = ~uint32_t(0);
  std::string temperature;
  std::string build_version;
  std::string fpga_version;
  std::string boot_version;
  std::string board_version;
  MON::SnmpSetCommands snmp_commands;
  std::string snmp_value;
  std::list<FramerDataHolder> framers;
  std::list<NetIfDataHolder> net_ifs;

  // The controller has left: writes the counts that the throttled lines still owe.
  void FlushLogs();

 private:
  static bool set_text(std::string& kept, const std::string& text);
  void make_records();
  // Logs a failure of the kind `what` on `path` with its error code.
  void fail_line(const char* what, const std::string& path, int error);

  LogThrottles logs_;
  // Whether the monitoring folder lies inside the root, as found at construction.
  bool files_ = true;
};

// The decimal text of an unsigned 32-bit number.
std::string to_string(unsigned int value);
// The `iaddr` of a host address; the port is not included.
std::string host2str(const TERM::HostAddress& host);
// Whether `text` may name a file or folder inside the monitoring folder: not empty, not "." or
// "..", no "/" or control character (below 0x20, or 0x7f), at most 255 bytes, and not starting
// like the store's temporary files (".mon-").
bool is_safe_path_component(const std::string& text);
