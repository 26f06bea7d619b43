#include "monitoring/snmp_agent_ctrl.h"

#include <algorithm>

#include "monitoring/snmp_set_splitter.h"

namespace {

using Ctrl = SnmpAgentCtrl;
constexpr int kTavo = SnmpAgentInstance::tavo;
constexpr int kXj = SnmpAgentInstance::lemzgw_xj;
constexpr int kBoth = kTavo | kXj;

const Ctrl::MonitoringItem kItems[] = {
    {Ctrl::driverBuild, kBoth, "gatewayCommon", "driverBuild"},
    {Ctrl::softwareBuild, kBoth, "gatewayCommon", "softwareBuild"},
    {Ctrl::powerStatus, kBoth, "gatewayCommon", "powerStatus"},
    {Ctrl::controllerStatus, kBoth, "gatewayCommon", "controllerStatus"},
    {Ctrl::gatewayDip, kBoth, "gatewayCommon", "gatewayDip"},
    {Ctrl::gatewayConfigVersion, kBoth, "gatewayCommon", "gatewayConfigVersion"},
    {Ctrl::extBoardStatus, kTavo, "extBoardTable", "extBoardStatus"},
    {Ctrl::extBoardSoftVer, kTavo, "extBoardTable", "extBoardSoftVer"},
    {Ctrl::extBoardType, kTavo, "extBoardTable", "extBoardType"},
    {Ctrl::emPhonePanelSoftVer, kTavo, "emPhoneTable", "emPhonePanelSoftVer"},
    {Ctrl::emPhoneCtrlSoftVer, kTavo, "emPhoneTable", "emPhoneCtrlSoftVer"},
    {Ctrl::emPhoneFpgaSoftVer, kTavo, "emPhoneTable", "emPhoneFpgaSoftVer"},
    {Ctrl::emPhoneStatus, kTavo, "emPhoneTable", "emPhoneStatus"},
    {Ctrl::emPhonePowerStatus, kTavo, "emPhoneTable", "emPhonePowerStatus"},
    {Ctrl::emPhoneMode, kTavo, "emPhoneTable", "emPhoneMode"},
    {Ctrl::emPhoneHookStatus, kTavo, "emPhoneTable", "emPhoneHookStatus"},
    {Ctrl::emPhoneBaseStatus, kTavo, "emPhoneTable", "emPhoneBaseStatus"},
    {Ctrl::routerTermCnt, kBoth, "gatewayTermCounters", "routerTermCnt"},
    {Ctrl::controllerTermCnt, kBoth, "gatewayTermCounters", "controllerTermCnt"},
    {Ctrl::serverTermCnt, kBoth, "gatewayTermCounters", "serverTermCnt"},
    {Ctrl::extBoardTermCnt, kTavo, "extBoardTermCntTable", "extBoardTermCnt"},
    {Ctrl::e1Connected, kTavo, "e1Table", "e1Connected"},
    {Ctrl::e1StatusDsc, kTavo, "e1Table", "e1StatusDsc"},
    {Ctrl::e1SignalLoss, kTavo, "e1Table", "e1SignalLoss"},
    {Ctrl::e1FrameAlignLoss, kTavo, "e1Table", "e1FrameAlignLoss"},
    {Ctrl::e1NegSlipCount, kTavo, "e1Table", "e1NegSlipCount"},
    {Ctrl::e1PosSlipCount, kTavo, "e1Table", "e1PosSlipCount"},
    {Ctrl::sgBuildVersion, kXj, "statusGeneral", "sgBuildVersion"},
    {Ctrl::sgFPGAVersion, kXj, "statusGeneral", "sgFPGAVersion"},
    {Ctrl::sgBootVersion, kXj, "statusGeneral", "sgBootVersion"},
    {Ctrl::sgBoardVersion, kXj, "statusGeneral", "sgBoardVersion"},
    {Ctrl::ifDescr, kBoth, "ifTable", "ifDescr"},
    {Ctrl::ifAdminStatus, kBoth, "ifTable", "ifAdminStatus"},
    {Ctrl::ifOperStatus, kBoth, "ifTable", "ifOperStatus"},
    {Ctrl::temperature, kTavo, "gatewayCommon", "temperature"},
};

}  // namespace

SnmpAgentCtrl::SnmpAgentCtrl() : items_(std::begin(kItems), std::end(kItems)) {
  dpc_.Bind(this, &SnmpAgentCtrl::OnDpcSend);
  pending_[0];
  pending_[SnmpAgentInstance::lemzgw];
  for (int type : {kTavo, kXj}) {
    pending_[type].reset(new MON::Command);
    pending_[type]->select_snmp_set();
  }
}

SnmpAgentCtrl::~SnmpAgentCtrl() {
  agents_.clear();
  items_.clear();
  pending_.clear();
  dpc_.Deactivate();
  dpc_.Bind(nullptr);
}

void SnmpAgentCtrl::CreateInstances(IniFile::Section& section) {
  for (IniFile::SubSection& sub : section) {
    agents_.emplace_back(new SnmpAgentInstance);
    agents_.back()->Activate(sub);
  }
}

void SnmpAgentCtrl::Bind(ISnmpAgentNotify* sink) {
  sink_ = sink;
  for (auto& agent : agents_) agent->set_sink(sink);
}

void SnmpAgentCtrl::Send(MonitoringItemType item, int index, const std::string& value) {
  const MonitoringItem* row = nullptr;
  for (const MonitoringItem& r : items_) {
    if (r.item == item) {
      row = &r;
      break;
    }
  }
  if (!row) return;
  const auto key = std::make_pair(int(item), index);
  if (audience_ == kOwed) {
    // A value that changed is news to the other links too; they get it once the whole state
    // ends.
    const auto before = earlier_.find(key);
    if (before == earlier_.end() || before->second != value) changed_.emplace_back(row, index);
    last_[key] = value;
  } else {
    const auto [last, added] = last_.emplace(key, value);
    if (!added && last->second == value) return;
    last->second = value;
  }
  queue(*row, index, value);
}

void SnmpAgentCtrl::queue(const MonitoringItem& row, int index, const std::string& value) {
  for (auto& [type, command] : pending_) {
    if (!(type & row.mask) || !command || !command->is_snmp_set()) continue;
    MON::SnmpSetCommand set;
    set.set_uniq(static_cast<int32_t>(uniq_++));
    MON::IniName& name = set.get_id().select_name();
    name.set_section(row.group);
    name.set_name(row.name);
    name.set_index(index);
    set.set_value(value);
    command->get_snmp_set().get_commands().push_back(set);
    dpc_.Activate();
  }
}

bool SnmpAgentCtrl::BeginWholeState() {
  OnDpcSend();
  for (auto& agent : agents_) {
    if (agent->TakeWholeState()) whole_.push_back(agent.get());
  }
  if (whole_.empty()) return false;
  audience_ = kOwed;
  // What the whole state sends is what is known from now on: a row it lacks (one the store has
  // forgotten) is no repeat when it comes back, for the links that got the whole state lack it.
  earlier_.swap(last_);
  return true;
}

void SnmpAgentCtrl::EndWholeState() {
  OnDpcSend();
  audience_ = kOthers;
  for (const auto& [row, index] : changed_)
    queue(*row, index, last_[std::make_pair(int(row->item), index)]);
  OnDpcSend();
  audience_ = kAll;
  changed_.clear();
  earlier_.clear();
  whole_.clear();
}

std::vector<SnmpAgentInstance*> SnmpAgentCtrl::links(int type) const {
  std::vector<SnmpAgentInstance*> out;
  for (auto& agent : agents_) {
    if ((type >= 0 && agent->address_type() != type) || !agent->connected()) continue;
    const bool owed = std::find(whole_.begin(), whole_.end(), agent.get()) != whole_.end();
    if (audience_ == kAll || owed == (audience_ == kOwed)) out.push_back(agent.get());
  }
  return out;
}

void SnmpAgentCtrl::send(const std::vector<SnmpAgentInstance*>& to,
                         const std::vector<char>& bytes) const {
  const auto kind = audience_ == kOwed ? SnmpAgentOutbox::kWhole : SnmpAgentOutbox::kUpdate;
  for (SnmpAgentInstance* link : to) link->SendFrame(bytes, kind);
}

void SnmpAgentCtrl::send_in_frames(const MON::SnmpSetCommands& commands, int type) {
  const std::vector<SnmpAgentInstance*> to = links(type);
  if (to.empty()) return;
  SnmpSetSplitter frames(commands);
  std::vector<char> bytes;
  while (frames.next(&bytes)) send(to, bytes);
}

void SnmpAgentCtrl::Send(const MON::SnmpSetCommands& commands) { send_in_frames(commands, -1); }

namespace {

// The snmp-trapsink-set message of `hosts`, encoded; false when it does not encode.
bool trapsink_message(const std::list<std::string>& hosts, std::vector<char>* bytes) {
  MON::Message message;
  auto& sinks = message.get_pdu().select_command().select_snmp_trapsink_set().get_trapsinks();
  for (const std::string& host : hosts) {
    MON::SnmpTrapsink sink;
    sink.set_host(host);
    sinks.push_back(sink);
  }
  return SnmpAgentInstance::Encode(message, bytes);
}

}  // namespace

void SnmpAgentCtrl::SendTrapsink(const std::list<std::string>& hosts) {
  std::vector<char> bytes;
  if (!trapsink_message(hosts, &bytes)) return;
  send(links(-1), bytes);
}

bool SnmpAgentCtrl::TrapsinkFits(const std::list<std::string>& hosts) {
  std::vector<char> bytes;
  return trapsink_message(hosts, &bytes) &&
         bytes.size() <= size_t(Control::Service::max_message);
}

void SnmpAgentCtrl::OnDpcSend() {
  for (auto& [type, command] : pending_) {
    if (!command || !command->is_snmp_set()) continue;
    send_in_frames(command->get_snmp_set(), type);
    command->get_snmp_set().get_commands().clear();
  }
  dpc_.Deactivate();
}
