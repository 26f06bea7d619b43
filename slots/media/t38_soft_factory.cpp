#include "slots/media/t38_soft_factory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <limits>
#include <string>

#include "base/child_answer.h"
#include "base/child_program.h"
#include "base/child_stop.h"
#include "base/device.h"
#include "base/ext_escaped.h"
#include "base/ext_header.h"
#include "base/fd.h"
#include "base/inet4_addr.h"
#include "base/path.h"
#include "hw/mcc_records.h"
#include "slotbase/device_values.h"
#include "slotbase/slots.h"
#include "slots/media/t38_soft_slot.h"

namespace {

constexpr const char* kProgram = "/usr/local/sbin/t38";
constexpr const char* kDevice = "/dev/mcc/ctl";
constexpr uint32_t kTransparent = 2;
// The exit code of a child whose program cannot run (237 once the wait status has cut it).
constexpr int kExecFailed = 1005;
// The instance count: the longest wait for the program's line, and the line's longest length.
constexpr unsigned kAnswerLimitMs = 1000;
constexpr size_t kAnswerLength = 31;

// The count that `line` opens with: its leading decimal digits. False when it opens with no
// digit, or with a sign, or with a number beyond int.
bool parse_count(const std::string& line, int& count) {
  const auto parsed = std::from_chars(line.data(), line.data() + line.size(), count);
  return parsed.ec == std::errc() && line[0] != '-';
}

// A size of the channel record: not negative.
DeviceValue Size(const char* name, int32_t value) {
  return DeviceValue{name, value, 0, std::numeric_limits<int32_t>::max()};
}

}  // namespace

T38SoftFactory& T38SoftFactory::instance() {
  static T38SoftFactory factory;
  return factory;
}

std::vector<std::string> T38SoftFactory::command_line(const LGCP::T38Soft& p) {
  std::vector<std::string> args{Path::board(kProgram), "--child", "--remote",
                                p.get_dhost().get_iaddr() + "/" +
                                    std::to_string(p.get_dhost().get_port().getValue()) + "/" +
                                    std::to_string(p.get_shost().get_port().getValue())};
  for (const auto& a : p.get_args()) {
    if (args.size() >= 4 + kMaxArgs) break;
    args.push_back(a);
  }
  return args;
}

bool T38SoftFactory::Carries(const LGCP::T38Soft& p) {
  const auto refuse = [this](const char* why, const std::string& text) {
    refusalLogs.write(std::cerr, this, why, ext::escaped(text));
    Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
    return false;
  };
  const std::string& remote = p.get_dhost().get_iaddr();
  in_addr_t address;
  if (!INet4::parse_dotted(remote, address))
    return refuse("refused: dhost not an address: ", remote);
  // The program gets its arguments as C strings, which a NUL would cut.
  for (const std::string& argument : command_line(p)) {
    if (argument.find('\0') != std::string::npos)
      return refuse("refused: an argument holds a NUL: ", argument);
  }
  return AllCarried({Size("rx-packet-size", p.get_rx_packet_size().getValue()),
                     Size("rx-threshold", p.get_rx_threshold().getValue()),
                     Size("tx-threshold", p.get_tx_threshold().getValue())},
                    refusalLogs, this);
}

Slot* T38SoftFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_t38soft) return nullptr;
  const auto& p = static_cast<const LGCP::T38Soft&>(*params.getSelection());
  if (!Carries(p)) return nullptr;
  Fd fd(Device::open(kDevice, O_RDWR));
  if (!fd) {
    std::cerr << "T38SoftFactory::INewSlot - FAIL to open <" << kDevice << "> [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  mcc_allocation allocation{kTransparent, static_cast<uint32_t>(p.get_rx_packet_size().getValue()),
                            0, static_cast<uint32_t>(p.get_rx_threshold().getValue()),
                            static_cast<uint32_t>(p.get_tx_threshold().getValue())};
  if (Device::ioctl(fd.get(), MccIoctl::kAllocate, &allocation, sizeof allocation) < 0) {
    std::cerr << "T38SoftFactory::INewSlot - FAIL to ioctl MCC_ALLOCATE [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  const int timeslot = Device::ioctl(fd.get(), MccIoctl::kTimeslot, 0ul);
  if (timeslot < 0) {
    std::cerr << "T38SoftFactory::INewSlot - FAIL to ioctl MCC_TIMESLOT [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  ChildProgram program{command_line(p)};
  program.input = fd.get();
  program.fail_code = kExecFailed;
  std::clog << ext::header(this) << "args for run t38 daemon:" << std::endl;
  for (size_t i = 0; i < program.args.size(); ++i) {
    std::clog << ext::header(this) << "arg[" << i << "]=" << ext::escaped(program.args[i])
              << std::endl;
  }
  const int pid = ChildStop::spawn(program, this);
  if (pid < 0) return nullptr;
  std::clog << ext::header(this) << "t38 daemon[" << pid << "] successfully started" << std::endl;
  return new T38SoftSlot(pid, timeslot);
}

void T38SoftFactory::Query(LGCP::Resources& report) {
  report.get_t38_instances() = QueryNumOfInstances();
}

int T38SoftFactory::QueryNumOfInstances() {
  ChildProgram program{{Path::board(kProgram), "--num-of-instances"}};
  program.fail_code = kExecFailed;
  // Without the program (the simulated board's default) there is nothing to run.
  const bool present = ::access(program.args[0].c_str(), X_OK) == 0;
  const ChildAnswer answer =
      present ? ChildAnswer::ask(program, kAnswerLimitMs, kAnswerLength) : ChildAnswer{};
  int count = 0;
  if (answer.outcome == ChildAnswer::kLine && parse_count(answer.line, count)) return count;
  refusalLogs.write(std::clog, this,
                    answer.outcome == ChildAnswer::kNotStarted ? "t38 daemon not found!"
                                                               : "t38: can't detect T38 resources");
  return 0;
}
