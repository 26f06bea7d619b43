#include "sim/maintenance.h"

#include <cerrno>

#include "sim/record.h"

Maintenance::Maintenance() : DeviceModel("maintenance"), status_() {
  for (uint32_t t = 0; t < kTrunks; ++t) status_[t].trunk = t;
}

IoctlResult Maintenance::on_ioctl(Session&, IoctlCall& call) {
  if (call.request == MaintenanceIoctl::kStatus) {
    e1_status status;
    if (!read_record(call, status) || status.trunk >= kTrunks) return {-1, EINVAL};
    write_record(call, status_[status.trunk]);
    return {0, 0};
  }
  if (call.request != MaintenanceIoctl::kTclk && call.request != MaintenanceIoctl::kSelectClock) return {-1, ENOTTY};
  if (call.has_record) return {-1, EINVAL};
  bool tclk = call.request == MaintenanceIoctl::kTclk;
  (tclk ? tclk_set_ : clock_set_) = true;
  (tclk ? tclk_ : clock_) = static_cast<uint32_t>(call.value);
  return {0, 0};
}

std::string Maintenance::decode(const IoctlCall& call) const {
  e1_status status;
  if (call.request == MaintenanceIoctl::kStatus && read_record(call, status)) {
    return "status trunk=" + std::to_string(status.trunk);
  }
  if (call.has_record) return "";
  if (call.request == MaintenanceIoctl::kTclk) return "tclk " + hex_number(static_cast<uint32_t>(call.value));
  if (call.request == MaintenanceIoctl::kSelectClock) return "select-clock " + std::to_string(call.value);
  return "";
}

bool Maintenance::command(const Words& words, Reply& reply) {
  if (words[0] != "maintenance") return false;
  uint32_t v[7] = {};
  bool numbers = words.size() == 4 || words.size() == 9;
  for (size_t i = 2; numbers && i < words.size(); ++i) numbers = parse_u32(words[i], v[i - 2]);
  if (words.size() == 2 && words[1] == "tclk") {
    reply = Reply::line(tclk_set_ ? hex_number(tclk_) : "unset");
  } else if (words.size() == 2 && words[1] == "clock") {
    reply = Reply::line(clock_set_ ? std::to_string(clock_) : "unset");
  } else if (numbers && words[1] == "status" && v[0] < kTrunks) {
    e1_status& s = status_[v[0]];
    s.state = v[1];
    s.slips = v[2];
    s.loss_bf = v[3];
    s.loss_carrier = v[4];
    s.loss_ais = v[5];
    s.loss_rai = v[6];
    reply = Reply::ok();
  } else {
    reply = Reply::error(
        "usage: maintenance status TRUNK(0-3) STATE [SLIPS LOSSBF LOSSCARRIER LOSSAIS LOSSRAI] | "
        "maintenance tclk | maintenance clock");
  }
  return true;
}
