#include "monitoring/monitoring_ctl.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <sstream>
#include <vector>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/path.h"
#include "base/proc.h"
#include "base/regular_file.h"
#include "base/trace_ctl.h"
#include "base/version.h"
#include "hw/hal_records.h"

namespace {

using Item = SnmpAgentCtrl::MonitoringItemType;

const char kConfigDir[] = "/usr/local/etc/";
const char kSpaces[] = " \t\n\r\f\v";
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

// The first line of the rooted board file `path`, at most `size` - 2 characters with its
// newline (empty when the file has none, and then *had_line is false); false when the file does
// not open or is no regular file.
bool first_line(const char* path, size_t size, std::string& line, bool* had_line = nullptr) {
  Fd fd(RegularFile::open(Path::board(path)));
  FILE* file = fd ? ::fdopen(fd.get(), "r") : nullptr;
  if (!file) return false;
  fd.release();
  std::vector<char> buffer(size, '\0');
  const bool read = std::fgets(buffer.data(), int(size - 1), file) != nullptr;
  std::fclose(file);
  line = buffer.data();
  if (had_line) *had_line = read;
  return true;
}

std::string trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(kSpaces);
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(kSpaces) - begin + 1);
}

// A hexadecimal number at the start of `text`; `out` unchanged when there is none.
template <class T>
void read_hex(const std::string& text, T& out) {
  unsigned long long value;
  if (std::sscanf(text.c_str(), "%llx", &value) == 1) out = T(value);
}

std::string decimal(int32_t value) { return std::to_string(value); }

}  // namespace

MonitoringCtl& MonitoringCtl::instance() {
  static MonitoringCtl monitoring;
  return monitoring;
}

MonitoringCtl::MonitoringCtl() {
  bkg_timer_.set(kBkgFirstMs, &MonitoringCtl::onBkgCheckTimer, this);
  power_timer_.set(kPowerMs, &MonitoringCtl::onPowerCheckTimer, this);
  controller_timer_.set(kControllerMs, &MonitoringCtl::onControllerCheckTimer, this);
  dpc_.Bind(this, &MonitoringCtl::OnDpcSend);
}

MonitoringCtl::~MonitoringCtl() {
  if (hal_) {
    leds_ = 0;
    write_leds();
    hal_.close();
  }
  dpc_.Deactivate();
  dpc_.Bind(nullptr);
  bkg_timer_.reset();
  power_timer_.reset();
  controller_timer_.reset();
  agents_.UnBind();
}

void MonitoringCtl::Configure(IniFile::File& file) {
  agents_.CreateInstances(*file["snmpagent"]);
  agents_.Bind(this);
}

void MonitoringCtl::PutHeader(std::ostream& os) const { os << "monitoring: "; }

void MonitoringCtl::OnConnect() {
  doPowerCheck();
  sendPowerStatus();
  doControllerCheck();
}

void MonitoringCtl::OnDisconnect() {
  store_.ClearControllerFiles();
  store_.FlushLogs();
  doControllerCheck();
}

bool MonitoringCtl::OnCommand(const LGCP::Command& command) {
  if (!command.is_display()) return false;
  if (!InRange(command.get_display())) {
    Error(LGCP::ErrorCause::invalidParams);
    return true;
  }
  OnDisplayCMD(command.get_display());
  Success();
  return true;
}

bool MonitoringCtl::InRange(const LGCP::DisplayParams& params) {
  if (params.is_snmpTrapReceivers()) {
    std::list<std::string> hosts;
    for (const ASN1::IA5String& host : params.get_snmpTrapReceivers()) hosts.push_back(host);
    return SnmpAgentCtrl::TrapsinkFits(hosts);
  }
  if (!params.is_emPhone() || !params.get_emPhone().is_phoneStatus()) return true;
  return params.get_emPhone().get_phoneStatus().get_id().getValue() < kMaxInt;
}

void MonitoringCtl::OnSnmpAgentConnect(const std::string&) { dpc_.Activate(); }

void MonitoringCtl::OnDisplayCMD(const LGCP::DisplayParams& params) {
  if (!InRange(params)) return;
  store_.setDisplayStatus(params);
  switch (params.currentSelection()) {
    case LGCP::DisplayParams::e_board:
      if (params.get_board().is_boardStatus())
        sendSnmpBoardStatus(params.get_board().get_boardStatus());
      break;
    case LGCP::DisplayParams::e_snmpTrapReceivers:
      trap_receivers_given_ = true;
      sendSnmpTrapReceivers();
      break;
    case LGCP::DisplayParams::e_framer:
      setFramerLed(params.get_framer());
      break;
    case LGCP::DisplayParams::e_emPhone:
      if (params.get_emPhone().is_phoneStatus())
        sendSnmpEmPhoneStatus(params.get_emPhone().get_phoneStatus());
      break;
    case LGCP::DisplayParams::e_controller:
      sendSnmpControllerStatus();
      break;
    case LGCP::DisplayParams::e_termCounter:
      sendSnmpRouterTermCnt();
      sendSnmpControllerTermCnt();
      sendSnmpServerTermCnt();
      sendSnmpBoardTermCnt();
      break;
    case LGCP::DisplayParams::e_snmp_set:
      sendSnmpCommands(params.get_snmp_set());
      break;
    default:
      break;
  }
}

void MonitoringCtl::onBkgCheckTimer() {
  doVersionsCheck();
  doConfigCheck();
  doFramerCheck();
  doTemperatureCheck();
  bkg_timer_.set(kBkgMs, &MonitoringCtl::onBkgCheckTimer, this);
}

void MonitoringCtl::onPowerCheckTimer() {
  doPowerCheck();
  doDipCheck();
  doNetIfCheck();
  power_timer_.set(kPowerMs, &MonitoringCtl::onPowerCheckTimer, this);
}

void MonitoringCtl::onControllerCheckTimer() {
  doControllerCheck();
  controller_timer_.set(kControllerMs, &MonitoringCtl::onControllerCheckTimer, this);
}

bool MonitoringCtl::IsOpen() {
  if (hal_) return true;
  leds_ = 0;
  hal_ = Fd(Device::open("/dev/hal", O_RDWR));
  if (hal_) write_leds();
  return bool(hal_);
}

bool MonitoringCtl::read_hal(uint32_t request, uint8_t& value) {
  value = 0;
  return IsOpen() && Device::ioctl(hal_.get(), request, &value, 1) >= 0;
}

void MonitoringCtl::write_leds() { Device::ioctl(hal_.get(), HalIoctl::kSetLeds, &leds_, 1); }

void MonitoringCtl::doVersionsCheck() {
  using Setter = bool (MonitoringDataHolder::*)(const std::string&);
  using Sender = void (MonitoringCtl::*)();
  static const struct {
    const char* path;
    const char* label;
    Setter set;
    Sender send;
  } kFiles[] = {
      {"/var/version", "BuildVersion - ", &MonitoringDataHolder::setBuildVersion,
       &MonitoringCtl::sendSnmpStatusBuildVersion},
      {"/var/u-boot-version", "BootVersion - ", &MonitoringDataHolder::setBootVersion,
       &MonitoringCtl::sendSnmpStatusBootVersion},
      {"/var/fpga-version", "FPGAVersion - ", &MonitoringDataHolder::setFPGAVersion,
       &MonitoringCtl::sendSnmpStatusFPGAVersion},
      {"/var/board-version", "BoardVersion - ", &MonitoringDataHolder::setBoardVersion,
       &MonitoringCtl::sendSnmpStatusBoardVersion},
  };
  for (const auto& f : kFiles) {
    std::string text;
    if (!first_line(f.path, 256, text)) continue;
    if (traces.monitoringInternal) std::clog << f.label << text << std::endl;
    if ((store_.*f.set)(text)) (this->*f.send)();
  }
}

void MonitoringCtl::doConfigCheck() {
  const std::string folder = Path::board(kConfigDir);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  if (::chdir(folder.c_str()) != 0) {
    std::cerr << ext::header(this) << "chdir " << folder << ": " << std::strerror(errno)
              << std::endl;
  }
  uint32_t first = 0;
  uint64_t second = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    struct stat st;
    if (::lstat((folder + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (name.compare(0, 7, "config.") != 0 || name.compare(0, 20, "config.2save.tar.bz2") == 0)
      continue;
    const std::string version = name.substr(7, 25);
    // A name too short to carry the second number is no version file.
    if (version.size() < 9) continue;
    read_hex(version.substr(0, 8), first);
    read_hex(version.substr(9, 16), second);
    if (store_.setConfigVersion(first, second)) sendSnmpGatewayConfigVersion();
  }
  ::closedir(dir);
}

void MonitoringCtl::doFramerCheck() {
  for (FramerDataHolder& framer : store_.framers) {
    Fd file(RegularFile::open(framer.path));
    if (!file) {
      if (traces.monitoringInternal)
        std::clog << "Error open file: " << ext::quoted(framer.path)
                  << " errno=" << ext::quoted(std::strerror(errno)) << std::endl;
      continue;
    }
    std::vector<unsigned char> data(1024);
    const ssize_t n = ::read(file.get(), data.data(), data.size());
    if (n <= 0) {
      if (traces.monitoringInternal)
        std::clog << "Error read file: " << ext::quoted(framer.path)
                  << " errno=" << ext::quoted(std::strerror(errno)) << std::endl;
      continue;
    }
    data.resize(size_t(n));
    if (framer.setFramerStatus(data)) sendSnmpFramerStatus(framer);
  }
}

void MonitoringCtl::doTemperatureCheck() {
  std::string line;
  if (!first_line("/proc/temperature", 256, line)) return;
  if (traces.monitoringInternal) std::clog << "Temperature - " << line << std::endl;
  line = line.substr(0, line.find_first_of(kSpaces));
  if (store_.setTemperature(line)) sendSnmpTemperature();
}

void MonitoringCtl::doPowerCheck() {
  uint8_t raw;
  if (!read_hal(HalIoctl::kGetPower, raw)) return;
  LGCP::POWERStatus status;
  status.value = raw == 0   ? int32_t(LGCP::POWERStatus::both)
                 : raw <= 3 ? raw
                            : int32_t(LGCP::POWERStatus::unknown);
  if (!store_.setPowerStatus(status)) return;
  if (traces.monitoringInternal) std::clog << "New power status - " << status << std::endl;
  sendPowerStatus();
  sendSnmpPowerStatus();
}

void MonitoringCtl::doDipCheck() {
  uint8_t dip;
  if (!read_hal(HalIoctl::kGetDip, dip) || !store_.setDipValue(dip)) return;
  if (traces.monitoringInternal) std::clog << "New dip - " << int(dip) << std::endl;
  sendSnmpGatewayDip();
}

void MonitoringCtl::doNetIfCheck() {
  for (NetIfDataHolder& netif : store_.net_ifs) {
    if (netif.updateNetIf()) sendSnmpNetIfStatus(netif);
  }
}

void MonitoringCtl::doControllerCheck() {
  LGCP::ControllerInfo info;
  info.get_host().set_iaddr(store_.self_address.dotted());
  bool up = false;
  if (CheckServerConnection(up) && up) {
    info.get_status().value = store_.own_controller_status.asInt();
  } else {
    store_.controller_pid = find_proc_by_name("controller", store_.controller_pid);
    info.set_status(store_.controller_pid < 1 ? HSP::ControllerStatus::notrun
                                              : HSP::ControllerStatus::notconnection);
  }
  if (store_.setControllerStatus(info)) sendSnmpControllerStatus();
}

void MonitoringCtl::setFramerLed(const LGCP::FramerInfo& info) {
  if (!IsOpen()) return;
  const unsigned e = info.get_e1().getValue() & 3;
  const uint8_t link = uint8_t(1u << (2 * e));
  const uint8_t line = uint8_t(2u << (2 * e));
  if (info.get_info().is_link()) {
    leds_ = info.get_info().get_link().getValue() ? leds_ & ~link : leds_ | link;
  } else if (info.get_info().get_line().getValue()) {
    if (!(leds_ & line)) leds_ |= link;
    leds_ |= line;
  } else {
    leds_ &= uint8_t(~(line | link));
  }
  write_leds();
}

void MonitoringCtl::sendPowerStatus() {
  LGCP::Signal signal;
  signal.select_power() = store_.power_status;
  SendSignal(signal);
}

void MonitoringCtl::sendSnmpPowerStatus() {
  agents_.Send(SnmpAgentCtrl::powerStatus, decimal(store_.power_status.asInt()));
}

void MonitoringCtl::sendSnmpControllerStatus() {
  agents_.Send(SnmpAgentCtrl::controllerStatus, decimal(store_.own_controller_status.asInt()));
}

void MonitoringCtl::sendSnmpGatewayDip() {
  agents_.Send(SnmpAgentCtrl::gatewayDip, decimal(store_.dip_value));
}

void MonitoringCtl::sendSnmpGatewayConfigVersion() {
  agents_.Send(SnmpAgentCtrl::gatewayConfigVersion, to_string(store_.config_version32));
}

void MonitoringCtl::sendSnmpTemperature() {
  agents_.Send(SnmpAgentCtrl::temperature, store_.temperature);
}

void MonitoringCtl::sendSnmpStatusBuildVersion() {
  agents_.Send(SnmpAgentCtrl::sgBuildVersion, store_.build_version);
}

void MonitoringCtl::sendSnmpStatusFPGAVersion() {
  agents_.Send(SnmpAgentCtrl::sgFPGAVersion, store_.fpga_version);
}

void MonitoringCtl::sendSnmpStatusBootVersion() {
  agents_.Send(SnmpAgentCtrl::sgBootVersion, store_.boot_version);
}

void MonitoringCtl::sendSnmpStatusBoardVersion() {
  agents_.Send(SnmpAgentCtrl::sgBoardVersion, store_.board_version);
}

void MonitoringCtl::sendSnmpSoftwareBuild() {
  std::ostringstream tag;
  tag << Version::current;
  agents_.Send(SnmpAgentCtrl::softwareBuild, tag.str());
}

void MonitoringCtl::sendSnmpDriverBuild() {
  std::string line;
  bool had_line = false;
  if (!first_line("/proc/voice/version", 128, line, &had_line) || !had_line) return;
  std::vector<std::string> pieces;
  size_t begin = 0;
  for (;;) {
    const size_t space = line.find(' ', begin);
    pieces.push_back(trim(line.substr(begin, space - begin)));
    if (space == std::string::npos) break;
    begin = space + 1;
  }
  std::string value = "none";
  if (pieces.size() >= 4) {
    value = pieces[1] + " [" + pieces[2] + " " + pieces[3] + "]";
  } else if (pieces.size() == 3) {
    value = pieces[1] + " [" + pieces[2] + "]";
  }
  agents_.Send(SnmpAgentCtrl::driverBuild, value);
}

void MonitoringCtl::sendSnmpBoardStatus(const LGCP::BoardStatusParams& board) {
  const int index = board.get_position().getValue();
  agents_.Send(SnmpAgentCtrl::extBoardStatus, index, decimal(board.get_status().asInt()));
  agents_.Send(SnmpAgentCtrl::extBoardSoftVer, index, std::string(board.get_version()));
  agents_.Send(SnmpAgentCtrl::extBoardType, index, decimal(board.get_type().asInt()));
}

void MonitoringCtl::sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone) {
  const int index = phone.get_id().getValue() + 1;
  agents_.Send(SnmpAgentCtrl::emPhonePanelSoftVer, index, std::string(phone.get_panelSV()));
  agents_.Send(SnmpAgentCtrl::emPhoneCtrlSoftVer, index, std::string(phone.get_ctrlSV()));
  agents_.Send(SnmpAgentCtrl::emPhoneFpgaSoftVer, index, std::string(phone.get_fpgaSV()));
  agents_.Send(SnmpAgentCtrl::emPhoneStatus, index, decimal(phone.get_status().asInt()));
  agents_.Send(SnmpAgentCtrl::emPhonePowerStatus, index, decimal(phone.get_powerStatus().asInt()));
  agents_.Send(SnmpAgentCtrl::emPhoneMode, index, decimal(phone.get_mode().asInt()));
  agents_.Send(SnmpAgentCtrl::emPhoneHookStatus, index, decimal(phone.get_hookStatus().asInt()));
  agents_.Send(SnmpAgentCtrl::emPhoneBaseStatus, index, decimal(phone.get_baseStatus().asInt()));
}

void MonitoringCtl::sendSnmpFramerStatus(const FramerDataHolder& framer) {
  const int index = framer.number;
  agents_.Send(SnmpAgentCtrl::e1Connected, index, decimal(framer.connected));
  agents_.Send(SnmpAgentCtrl::e1StatusDsc, index, framer.state);
  agents_.Send(SnmpAgentCtrl::e1SignalLoss, index, decimal(framer.loss_of_signal));
  agents_.Send(SnmpAgentCtrl::e1FrameAlignLoss, index, decimal(framer.loss_of_frame_alignment));
  agents_.Send(SnmpAgentCtrl::e1NegSlipCount, index, decimal(framer.slips_negative));
  agents_.Send(SnmpAgentCtrl::e1PosSlipCount, index, decimal(framer.slips_positive));
}

void MonitoringCtl::sendSnmpNetIfStatus(const NetIfDataHolder& netif) {
  agents_.Send(SnmpAgentCtrl::ifOperStatus, netif.index, decimal(netif.oper_status));
  agents_.Send(SnmpAgentCtrl::ifAdminStatus, netif.index, decimal(netif.admin_status));
  agents_.Send(SnmpAgentCtrl::ifDescr, netif.index, netif.name);
}

void MonitoringCtl::sendSnmpBoardStatuses() {
  for (const auto& board : store_.boards) sendSnmpBoardStatus(board);
}

void MonitoringCtl::sendSnmpEmPhoneStatuses() {
  for (const auto& phone : store_.em_phones) sendSnmpEmPhoneStatus(phone);
}

void MonitoringCtl::sendSnmpFramerStatus() {
  for (const auto& framer : store_.framers) sendSnmpFramerStatus(framer);
}

void MonitoringCtl::sendSnmpNetIfStatus() {
  for (const auto& netif : store_.net_ifs) sendSnmpNetIfStatus(netif);
}

void MonitoringCtl::send_term_counters(int owner, Item item) {
  for (const LGCP::TermCounter& counter : store_.term_counters) {
    if (counter.get_owner().asInt() != owner) continue;
    const std::string count = to_string(static_cast<unsigned>(counter.get_cnt().getValue()));
    if (owner != LGCP::TermCounterOwner::extBoard) {
      agents_.Send(item, count);
    } else if (counter.has_ownerId()) {
      agents_.Send(item, counter.get_ownerId().getValue(), count);
    }
  }
}

void MonitoringCtl::sendSnmpRouterTermCnt() {
  send_term_counters(LGCP::TermCounterOwner::router, SnmpAgentCtrl::routerTermCnt);
}

void MonitoringCtl::sendSnmpControllerTermCnt() {
  send_term_counters(LGCP::TermCounterOwner::controller, SnmpAgentCtrl::controllerTermCnt);
}

void MonitoringCtl::sendSnmpServerTermCnt() {
  send_term_counters(LGCP::TermCounterOwner::server, SnmpAgentCtrl::serverTermCnt);
}

void MonitoringCtl::sendSnmpBoardTermCnt() {
  send_term_counters(LGCP::TermCounterOwner::extBoard, SnmpAgentCtrl::extBoardTermCnt);
}

void MonitoringCtl::sendSnmpTrapReceivers() {
  // Until the controller gives a list, an agent keeps the receivers it has.
  if (trap_receivers_given_) agents_.SendTrapsink(store_.trap_receivers);
}

void MonitoringCtl::sendSnmpCommands() { agents_.Send(store_.snmp_commands); }

void MonitoringCtl::sendSnmpCommands(const MON::SnmpSetCommands& commands) {
  agents_.Send(commands);
}

void MonitoringCtl::OnDpcSend() {
  // A link owed the whole state while it goes out (one that caught up) gets it next turn.
  dpc_.Deactivate();
  if (!agents_.BeginWholeState()) return;
  sendSnmpTrapReceivers();
  sendSnmpDriverBuild();
  sendSnmpSoftwareBuild();
  sendSnmpPowerStatus();
  sendSnmpControllerStatus();
  sendSnmpGatewayDip();
  sendSnmpGatewayConfigVersion();
  sendSnmpTemperature();
  sendSnmpStatusBuildVersion();
  sendSnmpStatusFPGAVersion();
  sendSnmpStatusBootVersion();
  sendSnmpStatusBoardVersion();
  sendSnmpBoardStatuses();
  sendSnmpEmPhoneStatuses();
  sendSnmpRouterTermCnt();
  sendSnmpControllerTermCnt();
  sendSnmpServerTermCnt();
  sendSnmpBoardTermCnt();
  sendSnmpFramerStatus();
  sendSnmpNetIfStatus();
  sendSnmpCommands();
  agents_.EndWholeState();
}
