#include "slots/media/dsp_modem_slot.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/path.h"
#include "hw/mctl_records.h"
#include "slots/media/modem_factory.h"

namespace {

constexpr const char* kModemDevice = "/dev/mctl";
constexpr const char* kFax = "/usr/local/sbin/fax";
constexpr const char* kFaxReceiver = "/usr/local/bin/fax";

uint32_t ddm_flag(int mode) {
  switch (mode) {
    case TERM::DigitalDataModeEnum::ddmV110:
      return MctlDdm::kV110;
    case TERM::DigitalDataModeEnum::ddm8BIT:
      return MctlDdm::k8Bit;
    case TERM::DigitalDataModeEnum::ddm7BIT:
      return MctlDdm::k7Bit;
  }
  return 0;
}

}  // namespace

DspModemSlot::~DspModemSlot() {
  pppd_kill();
  unbind();
  receiver_wait.Detach();
}

bool DspModemSlot::IBeforeDestroy() {
  if (receiver_pid > 0) {
    ChildStop::orphan(receiver_wait, SIGTERM, held());
    receiver_pid = -1;
  }
  return ModemSlot::IBeforeDestroy();
}

void DspModemSlot::unbind() { ModemFactory::instance().ReleaseModemSlot(this); }

void DspModemSlot::fail(const char* what) {
  const int error = errno;
  std::cerr << ext::header(this) << what << std::strerror(error) << std::endl;
  OnAbort(error);
}

void DspModemSlot::InitModem() {
  if (modem >= 0) return;
  Fd local(Device::open(kModemDevice, O_RDONLY));
  if (!local) return fail("fail to open device: ");
  const int number = ModemFactory::instance().pool.allocate(local, kModemDevice);
  if (number < 0) return fail("insufficient resources : ");
  const int ts = Device::ioctl(local.get(), MctlIoctl::kTimeslot, 0ul);
  if (ts < 0) return fail("get timeslot fail : ");
  if (params.has_ddm()) {
    mctl_ddm ddm{number, 0};
    for (const auto& mode : params.get_ddm()) ddm.flags |= ddm_flag(mode.asInt());
    if (Device::ioctl(local.get(), MctlIoctl::kSetDdm, &ddm, sizeof ddm) < 0) {
      return fail("set DDM failed : ");
    }
  }
  mctl_modem request{number, -1};
  if (Device::ioctl(local.get(), MctlIoctl::kResetDmp, &request, sizeof request) < 0) {
    std::cerr << ext::header(this) << "reset dmp parameters failed : " << std::strerror(errno)
              << std::endl;
  }
  if (params.has_dmp()) {
    for (const auto& p : params.get_dmp()) {
      mctl_dmp dmp{number, p.get_offset().getValue(), p.get_value().getValue()};
      if (Device::ioctl(local.get(), MctlIoctl::kSetDmp, &dmp, sizeof dmp) < 0) {
        std::cerr << ext::header(this) << "set dmp parameter index=" << dmp.offset
                  << " value=" << dmp.value << " failed : " << std::strerror(errno) << std::endl;
      }
    }
  }
  timeslot = ts;
  modem = number;
  mark = ModemFactory::instance().pool.mark(number);
  fd = std::move(local);
  OnChangeOutputStream(true);
  OnChangeInputStream(true);

  if (!params.has_fax()) {
    const std::string port = Path::board("/dev/mdm" + std::to_string(modem));
    if (params.has_originate()) {
      if (Device::ioctl(fd.get(), MctlIoctl::kOriginate, &request, sizeof request) < 0) {
        return fail("originate failed : ");
      }
      pppd_exec(port, Path::board("/usr/local/etc/ppp/coptions"));
    } else {
      if (Device::ioctl(fd.get(), MctlIoctl::kAnswer, &request, sizeof request) < 0) {
        return fail("answer failed : ");
      }
      pppd_exec(port, Path::board("/usr/local/etc/ppp/aoptions"));
    }
  } else if (params.has_execargs()) {
    RunFaxTransfer();
  } else if (params.has_originate()) {
    if (Device::ioctl(fd.get(), MctlIoctl::kFaxOriginate, &request, sizeof request) < 0) {
      return fail("originate failed : ");
    }
  } else {
    RunFaxReceiver();
  }
}

ChildStop::Held DspModemSlot::held() {
  struct Held {
    ModemPool::Mark mark;
    Fd device;
  };
  return std::make_shared<const Held>(Held{mark, fd});
}

std::vector<std::string> DspModemSlot::fax_args() const {
  std::vector<std::string> args{
      params.has_execfile() ? std::string(params.get_execfile()) : Path::board(kFax), "-m",
      std::to_string(modem)};
  for (const auto& a : params.get_execargs()) {
    if (args.size() >= 3 + kMaxFaxArgs) break;
    args.push_back(a);
  }
  return args;
}

int DspModemSlot::run_fax(ChildProgram program, const char* what) {
  program.fail_line = "fail to exec!";
  // The program takes the modem over by its number; the mark keeps it from other calls.
  fd.close();
  const int child = spawn(program);
  if (child >= 0) {
    std::clog << ext::header(this) << what << " executed modem=" << modem << " ts=" << timeslot
              << std::endl;
  }
  return child;
}

void DspModemSlot::RunFaxTransfer() {
  ChildProgram program{fax_args()};
  program.start_line = "executing fax transfer";
  const int child = run_fax(program, "fax transfer");
  if (child < 0) return;
  pid = child;
  wait.Bind(this, &DspModemSlot::on_fax_terminate);
  wait.Attach(pid);
}

std::string DspModemSlot::fax_file() const {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "/var/fax-%H-%M-%S", &local);
  const std::string name = Path::board(stamp + std::string("-m") + std::to_string(modem));
  std::string path = name + ".g3";
  struct stat st;
  for (int n = 2; ::lstat(path.c_str(), &st) == 0; ++n) {
    path = name + "-" + std::to_string(n) + ".g3";
  }
  return path;
}

void DspModemSlot::RunFaxReceiver() {
  ChildProgram program{
      {Path::board(kFaxReceiver), "-m", std::to_string(modem), "receive", fax_file()}};
  program.delay_s = 1;
  program.start_line = "executing";
  const int child = run_fax(program, "fax receiver");
  if (child < 0) return;
  receiver_pid = child;
  receiver_wait.Bind(this, &DspModemSlot::on_fax_receiver_end);
  receiver_wait.Attach(child);
}

void DspModemSlot::on_fax_receiver_end(int status) {
  std::clog << ext::header(this) << "fax receiver terminated with code " << status << std::endl;
  receiver_pid = -1;
  ChildStop::end_rest(receiver_wait.pid(), SIGTERM, held());
}

void DspModemSlot::on_fax_terminate(int status) {
  std::clog << ext::header(this) << "fax terminated with code " << status << std::endl;
  pid = -1;
  if (status & 0xff) std::clog << ext::header(this) << "fax transfer failed" << std::endl;
  const int pages = (status >> 8) & 0xff;
  std::clog << ext::header(this) << "pages received: " << pages << std::endl;
  TERM::ModemProceeding m;
  TERM::MdmAccounting& acct = m.select_acct();
  for (BASE::INTEGER64Bits* c : {&acct.get_octetsOut(), &acct.get_octetsIn(),
                                 &acct.get_packetsOut(), &acct.get_packetsIn(), &acct.get_time()}) {
    c->get_low() = 0;
    c->get_high() = 0;
  }
  acct.get_octetsIn().get_low() = pages;
  OnModem(m);
  ended(status);
}
