// SnmpAgentCtrl: the links to the SNMP agent processes and the table of monitoring items.
//
// Items are queued, one MON::SnmpSetCommand per address type the item is meant for, on one
// pending snmp-set list per address type; a deferred call flushes every non-empty list to each
// link of that type and empties it, connected or not. Trap receivers and relayed set commands go
// to every link at once. A list goes out in as many frames as it needs (SnmpSetSplitter), each
// encoded once for all the links it goes to.
//
// A whole state goes only to the links that are owed it: what is sent between BeginWholeState
// and EndWholeState reaches those links alone, as whole-state frames, and every other link gets
// only the values that change.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "asn1/modules/mon.h"
#include "base/dpc.h"
#include "base/ini_file.h"
#include "monitoring/isnmp_agent_notify.h"
#include "monitoring/snmp_agent_instance.h"

class SnmpAgentCtrl {
 public:
  enum MonitoringItemType : int {
    driverBuild,
    softwareBuild,
    powerStatus,
    controllerStatus,
    gatewayDip,
    gatewayConfigVersion,
    extBoardStatus,
    extBoardSoftVer,
    extBoardType,
    emPhonePanelSoftVer,
    emPhoneCtrlSoftVer,
    emPhoneFpgaSoftVer,
    emPhoneStatus,
    emPhonePowerStatus,
    emPhoneMode,
    emPhoneHookStatus,
    emPhoneBaseStatus,
    routerTermCnt,
    controllerTermCnt,
    serverTermCnt,
    extBoardTermCnt,
    e1Connected,
    e1StatusDsc,
    e1SignalLoss,
    e1FrameAlignLoss,
    e1NegSlipCount,
    e1PosSlipCount,
    sgBuildVersion,
    sgFPGAVersion,
    sgBootVersion,
    sgBoardVersion,
    ifDescr,
    ifAdminStatus,
    ifOperStatus,
    temperature,
  };

  struct MonitoringItem {
    MonitoringItemType item;
    int mask;  // address types (SnmpAgentInstance::MonitoringAddressType bits)
    const char* group;
    const char* name;
  };

  SnmpAgentCtrl();
  virtual ~SnmpAgentCtrl();
  SnmpAgentCtrl(const SnmpAgentCtrl&) = delete;
  SnmpAgentCtrl& operator=(const SnmpAgentCtrl&) = delete;

  // One link per occurrence of the section, in file order.
  void CreateInstances(IniFile::Section& section);
  void Bind(ISnmpAgentNotify* sink);
  void UnBind() { Bind(nullptr); }

  void Send(MonitoringItemType item, const std::string& value) { Send(item, 0, value); }
  // Queues the item for each address type it is meant for; an unknown item is ignored, and so
  // is the value last queued for that item and index (an exact repeat) outside a whole state.
  // After a whole state, the values it sent are the ones last queued.
  void Send(MonitoringItemType item, int index, const std::string& value);
  // Sends what is queued, to every link; then what is sent until EndWholeState goes to the links
  // owed the whole state (SnmpAgentInstance::TakeWholeState) only, repeats included. False, and
  // nothing changes, when no link is owed it.
  bool BeginWholeState();
  // Sends what is queued to those links, then the items whose value changed meanwhile to the
  // other links, and ends the whole state.
  void EndWholeState();
  // Relays the commands, uniq values unchanged, to every link; an empty list sends nothing.
  void Send(const MON::SnmpSetCommands& commands);
  // One snmp-trapsink-set, without ports, to every link; an empty list too, which leaves the
  // agents without receivers.
  void SendTrapsink(const std::list<std::string>& hosts);
  // Whether the snmp-trapsink-set of `hosts` fits one frame.
  static bool TrapsinkFits(const std::list<std::string>& hosts);
  // The flush of the pending lists.
  void OnDpcSend();

  const std::list<std::unique_ptr<SnmpAgentInstance>>& agents() const { return agents_; }
  const std::vector<MonitoringItem>& items() const { return items_; }

 private:
  // Who what is sent goes to: every link, or during a whole state the links owed it, and at its
  // end the others.
  enum Audience { kAll, kOwed, kOthers };

  // Appends the value to the pending list of each address type of the row.
  void queue(const MonitoringItem& row, int index, const std::string& value);
  // The connected links of the audience whose address type is `type`, or all of them for a
  // negative `type`.
  std::vector<SnmpAgentInstance*> links(int type) const;
  // `bytes` to each of the links.
  void send(const std::vector<SnmpAgentInstance*>& to, const std::vector<char>& bytes) const;
  // The commands as snmp-set frames that each fit a TPKT frame, to links(type).
  void send_in_frames(const MON::SnmpSetCommands& commands, int type);

  std::list<std::unique_ptr<SnmpAgentInstance>> agents_;
  std::vector<MonitoringItem> items_;
  Dpc dpc_;
  // The next uniq; unsigned, so that it wraps instead of overflowing.
  unsigned uniq_ = 1;
  ISnmpAgentNotify* sink_ = nullptr;
  // Address type -> its pending snmp-set, none for the types that take no items.
  std::map<int, std::unique_ptr<MON::Command>> pending_;
  // (item, index) -> the value last queued; during a whole state, by the whole state, and what
  // was queued before it in earlier_.
  std::map<std::pair<int, int>, std::string> last_;
  std::map<std::pair<int, int>, std::string> earlier_;
  // The links a whole state goes to; empty outside one.
  std::vector<SnmpAgentInstance*> whole_;
  Audience audience_ = kAll;
  // The items (row, index) whose value changed during the whole state.
  std::vector<std::pair<const MonitoringItem*, int>> changed_;
};
