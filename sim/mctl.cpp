#include "sim/mctl.h"

#include <cerrno>
#include <cstring>

namespace {

template <typename Record>
bool record_of(const IoctlCall& call, Record& record) {
  if (!call.has_record || call.bytes.size() != sizeof record) return false;
  std::memcpy(&record, call.bytes.data(), sizeof record);
  return true;
}

const char* name_of(uint32_t request) {
  switch (request) {
    case MctlIoctl::kAnswer:
      return "ANSWER";
    case MctlIoctl::kOriginate:
      return "ORIGINATE";
    case MctlIoctl::kAllocate:
      return "ALLOCATE";
    case MctlIoctl::kNextModem:
      return "NEXT_MODEM";
    case MctlIoctl::kTimeslot:
      return "TIMESLOT";
    case MctlIoctl::kSetDdm:
      return "SET_DDM";
    case MctlIoctl::kSetDmp:
      return "SET_DMP";
    case MctlIoctl::kResetDmp:
      return "RESET_DMP";
    case MctlIoctl::kFaxOriginate:
      return "FAX_ORIGINATE";
  }
  return nullptr;
}

}  // namespace

void Mctl::on_close(Session& session) {
  for (Modem& m : modems_) {
    if (m.holder == &session) m = Modem();
  }
}

Mctl::Modem* Mctl::held(Session& session, int32_t number) {
  if (number < 0 || static_cast<size_t>(number) >= modems_.size()) return nullptr;
  Modem& m = modems_[static_cast<size_t>(number)];
  return m.holder == &session ? &m : nullptr;
}

IoctlResult Mctl::on_ioctl(Session& session, IoctlCall& call) {
  switch (call.request) {
    case MctlIoctl::kAllocate:
      for (const Modem& m : modems_) {
        if (m.holder == &session) return {-1, EBUSY};
      }
      for (size_t i = 0; i < modems_.size(); ++i) {
        if (modems_[i].holder) continue;
        modems_[i].holder = &session;
        return {static_cast<int>(i), 0};
      }
      return {-1, EBUSY};
    case MctlIoctl::kNextModem: {
      const int32_t previous = static_cast<int32_t>(call.value);
      const int32_t next = previous < 0 ? 0 : previous + 1;
      if (static_cast<size_t>(next) >= modems_.size()) return {-1, ENODEV};
      return {next, 0};
    }
    case MctlIoctl::kTimeslot:
      for (size_t i = 0; i < modems_.size(); ++i) {
        if (modems_[i].holder == &session) return {static_cast<int>(kFirstChannel + i), 0};
      }
      return {-1, EINVAL};
    default:
      return modem_request(session, call);
  }
}

IoctlResult Mctl::modem_request(Session& session, IoctlCall& call) {
  if (!name_of(call.request)) return {-1, ENOTTY};
  mctl_dmp dmp;
  mctl_modem modem;
  Modem* m = nullptr;
  if (call.request == MctlIoctl::kSetDmp) {
    if (!record_of(call, dmp) || !(m = held(session, dmp.modem))) return {-1, EINVAL};
    m->dmp[dmp.offset] = dmp.value;
    return {0, 0};
  }
  if (!record_of(call, modem) || !(m = held(session, modem.modem))) return {-1, EINVAL};
  switch (call.request) {
    case MctlIoctl::kSetDdm:
      m->ddm = static_cast<uint32_t>(modem.unused);
      break;
    case MctlIoctl::kResetDmp:
      m->dmp.clear();
      break;
    case MctlIoctl::kAnswer:
      m->state = "answer";
      break;
    case MctlIoctl::kOriginate:
      m->state = "originate";
      break;
    case MctlIoctl::kFaxOriginate:
      m->state = "fax-originate";
      break;
  }
  return {0, 0};
}

std::string Mctl::decode(const IoctlCall& call) const {
  const char* name = name_of(call.request);
  if (!name) return "";
  std::string text = name;
  if (!call.has_record) return text + " value=" + std::to_string(static_cast<int32_t>(call.value));
  mctl_dmp dmp;
  mctl_modem modem;
  if (record_of(call, dmp)) {
    return text + " modem=" + std::to_string(dmp.modem) + " offset=" + std::to_string(dmp.offset) +
           " value=" + std::to_string(dmp.value);
  }
  if (record_of(call, modem)) {
    return text + " modem=" + std::to_string(modem.modem) +
           " word1=" + std::to_string(modem.unused);
  }
  return "";
}

bool Mctl::command(const Words& words, Reply& reply) {
  if (words[0] != "mctl") return false;
  uint32_t n;
  if (words.size() == 3 && words[1] == "modems" && parse_u32(words[2], n) && n <= 256) {
    modems_.resize(n);
    reply = Reply::ok();
  } else if (words.size() == 2 && words[1] == "show") {
    std::vector<std::string> lines;
    for (size_t i = 0; i < modems_.size(); ++i) {
      const Modem& m = modems_[i];
      std::string dmp;
      for (const auto& p : m.dmp) {
        dmp += (dmp.empty() ? "" : ",") + std::to_string(p.first) + ":" + std::to_string(p.second);
      }
      lines.push_back(std::to_string(i) + " ts=" + std::to_string(kFirstChannel + i) +
                      (m.holder ? " held" : " free") + " ddm=" + std::to_string(m.ddm) +
                      " dmp=" + dmp + " state=" + m.state);
    }
    reply = Reply::of_list(lines);
  } else {
    reply = Reply::error("usage: mctl modems N | mctl show");
  }
  return true;
}
