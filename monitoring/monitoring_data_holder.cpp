#include "monitoring/monitoring_data_holder.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <iostream>

#include "base/ext_escaped.h"
#include "base/fd.h"
#include "base/net.h"
#include "base/path.h"
#include "base/random_bytes.h"
#include "base/trace_ctl.h"
#include "base/written_file.h"
#include "monitoring/net_if_probe.h"

const char MonitoringDataHolder::kMonDir[] = "/var/monitoring/";
const char MonitoringDataHolder::kTermCntsDir[] = "/var/monitoring/term_cnts/";
const char MonitoringDataHolder::kControllerDir[] = "/var/monitoring/controller/";
const char MonitoringDataHolder::kFramerFiles[] = "/proc/driver/hdlc/peb22554/";

namespace {

constexpr mode_t kDirMode = 0755;
// The name a file is written under before it is renamed over its target, in the target's folder.
// open_temporary fills in the X's and creates it exclusively, so it never replaces a stored file.
constexpr char kTemporaryName[] = ".mon-XXXXXX";
constexpr size_t kTemporaryPrefixLength = sizeof ".mon-" - 1;

// A new file in the folder open at `folder`, named as kTemporaryName with its X's random, as
// mkostemp(3) makes one beside a path: the descriptor (write only, mode 0600, close-on-exec) and
// its name in `name`, or -1 with errno.
int open_temporary(int folder, std::string& name) {
  static const char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[sizeof kTemporaryName - 1 - kTemporaryPrefixLength];
    random_bytes(random, sizeof random);
    name.assign(kTemporaryName, kTemporaryPrefixLength);
    for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
    const int fd = ::openat(folder, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The mode a file created with fopen(..., "w") gets: 0666 less the umask. The loop is the only
// thread, so reading the umask by setting it back at once races with no other file creation.
mode_t file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string mon_path(const std::string& tail) {
  return Path::board(MonitoringDataHolder::kMonDir) + tail;
}

bool is_temporary_name(const std::string& name) {
  return name.compare(0, kTemporaryPrefixLength, kTemporaryName, kTemporaryPrefixLength) == 0;
}

// Calls `each` with the name of every entry of the folder but "." and ".."; false when the
// folder does not open.
template <class F>
bool for_each_entry(const std::string& folder, F each) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      each(std::string(entry->d_name));
  }
  ::closedir(dir);
  return true;
}

// Removes the temporary files that a write cut short (the process killed between the write and
// the rename) left in `folder` (ending in '/') and in every folder below it. Links are not
// followed: what is removed lies in the folder itself.
void remove_temporaries(const std::string& folder) {
  for_each_entry(folder, [&](const std::string& name) {
    const std::string path = folder + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      remove_temporaries(path + "/");
    } else if (is_temporary_name(name)) {
      WrittenFile::remove(path);
    }
  });
}

// Whether `name` is a top-level file or folder of the store itself: "dip", "powerstatus",
// "config_version", "term_cnts", "controller", or "board" or "emphone" followed by a number.
bool is_store_name(const std::string& name) {
  static const char* const kFixed[] = {"dip", "powerstatus", "config_version", "term_cnts",
                                       "controller"};
  for (const char* fixed : kFixed) {
    if (name == fixed) return true;
  }
  for (const char* prefix : {"board", "emphone"}) {
    const size_t length = std::strlen(prefix);
    if (name.compare(0, length, prefix) != 0) continue;
    size_t digits = name[length] == '-' ? length + 1 : length;
    if (digits == name.size()) continue;
    while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
    if (digits == name.size()) return true;
  }
  return false;
}

// Why the SNMP set value of `section` and `name` gets no file, or null when it gets one.
const char* unwritable_because(const std::string& section, const std::string& name) {
  if (!is_safe_path_component(section) || !is_safe_path_component(name)) return "not a file name";
  if (is_store_name(section)) return "the section is a file of the store";
  return nullptr;
}

bool folder_exists(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir) ::closedir(dir);
  return dir != nullptr;
}

bool same_id(const MON::SnmpSetCommandId& a, const MON::SnmpSetCommandId& b) {
  if (a.is_oid() && b.is_oid()) return a.get_oid() == b.get_oid();
  if (!a.is_name() || !b.is_name()) return false;
  const MON::IniName& x = a.get_name();
  const MON::IniName& y = b.get_name();
  return x.get_section() == y.get_section() && x.get_name() == y.get_name() &&
         x.get_index().getValue() == y.get_index().getValue();
}

bool same_owner(const LGCP::TermCounter& kept, const LGCP::TermCounter& fresh) {
  if (kept.get_owner().asInt() != fresh.get_owner().asInt()) return false;
  if (kept.has_ownerId() != fresh.has_ownerId()) return false;
  return !kept.has_ownerId() || kept.get_ownerId().getValue() == fresh.get_ownerId().getValue();
}

// Replaces the entry of `list` whose key equals the value's, or appends the value.
template <class T, class Key>
void merge(std::list<T>& list, const T& value, Key key) {
  for (T& kept : list) {
    if (key(kept) == key(value)) {
      kept = value;
      return;
    }
  }
  list.push_back(value);
}

void write_octets(FILE* file, const ASN1::OCTET_STRING& octets) {
  if (!octets.empty()) std::fwrite(octets.data(), 1, octets.size(), file);
  std::fputc('\n', file);
}

}  // namespace

std::string to_string(unsigned int value) { return std::to_string(value); }

std::string host2str(const TERM::HostAddress& host) { return host.get_iaddr(); }

bool is_safe_path_component(const std::string& text) {
  if (text.empty() || text == "." || text == ".." || text.size() > 255) return false;
  // Control characters (NUL, line ends, the escape that opens a terminal sequence) would reach
  // whoever lists the folder; a name of the temporary pattern could be taken for a leftover.
  for (unsigned char c : text) {
    if (c == '/' || c < 0x20 || c == 0x7f) return false;
  }
  return !is_temporary_name(text);
}

MonitoringDataHolder::MonitoringDataHolder() {
  const std::string top = Path::board(kMonDir);
  files_ = Path::folder_inside_root(top);
  if (!files_)
    std::cerr << "monitoring: " << top << ": " << WrittenFile::failure(errno)
              << "; no monitoring file is written or removed" << std::endl;
  if (files_) remove_temporaries(top);
  ClearMonitorFiles();
  std::list<INet4::Addr> addresses;
  Net::ifconfig(addresses, Net::ifconfig_private);
  if (!addresses.empty()) {
    self_address = addresses.front();
  } else {
    self_address.Assign("127.0.0.1");
  }
  make_records();
  CheckForMonDir(Path::board(kMonDir));
  CheckForMonDir(Path::board(kTermCntsDir));
}

MonitoringDataHolder::~MonitoringDataHolder() { ClearMonitorFiles(); }

void MonitoringDataHolder::make_records() {
  for (int i = 0; i < kFramers; ++i) {
    const std::string path = Path::board(kFramerFiles + std::to_string(i));
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) framers.emplace_back(i + 1, path);
  }
  for (int index = 0; index < kNetIfs; ++index) {
    std::string name;
    if (NetIfProbe::current().probe(index, &name, nullptr) == NetIfProbe::kOk)
      net_ifs.emplace_back(index, name);
  }
}

bool MonitoringDataHolder::set_text(std::string& kept, const std::string& text) {
  if (kept == text) return false;
  kept = text;
  return true;
}

bool MonitoringDataHolder::setDipValue(int value) {
  if (value == dip_value) return false;
  dip_value = value;
  SaveStatusToFile(mon_path("dip"), &MonitoringDataHolder::DipStatusSaver, nullptr);
  return true;
}

bool MonitoringDataHolder::setPowerStatus(const LGCP::POWERStatus& status) {
  if (power_status.compare(status) == 0) return false;
  power_status = status;
  SaveStatusToFile(mon_path("powerstatus"), &MonitoringDataHolder::PowerStatusSaver, nullptr);
  return true;
}

bool MonitoringDataHolder::setConfigVersion(unsigned long first, unsigned long long second) {
  if (uint32_t(first) == config_version32 && second == config_version64) return false;
  config_version32 = uint32_t(first);
  config_version64 = second;
  SaveStatusToFile(mon_path("config_version"), &MonitoringDataHolder::ConfigVersionSaver, nullptr);
  return true;
}

bool MonitoringDataHolder::setControllerStatus(const LGCP::ControllerInfo& info) {
  INet4::Addr address;
  address.Assign(host2str(info.get_host()));
  const int32_t status = info.get_status().asInt();
  const bool self = address.IsEqual(self_address);
  if (self) own_controller_status.value = status;

  bool changed = true;
  LGCP::ControllerInfo* found = nullptr;
  for (LGCP::ControllerInfo& kept : controllers) {
    if (kept.get_host().compare(info.get_host()) == 0) found = &kept;
  }
  if (found) {
    changed = found->get_status().asInt() != status;
    found->get_status().value = status;
  } else {
    controllers.push_back(info);
  }
  if (!changed) return false;

  if (traces.monitoringInternal)
    std::clog << "New controller " << address.dotted() << " status - " << info.get_status()
              << std::endl;
  CheckForMonControllerDir(address);
  SaveStatusArg arg;
  arg.value = &info.get_status();
  SaveStatusToFile(Path::board(kControllerDir) + address.dotted() + "/status",
                   &MonitoringDataHolder::ControllerStatusSaver, &arg);
  return self;
}

void MonitoringDataHolder::setDisplayStatus(const LGCP::DisplayParams& params) {
  switch (params.currentSelection()) {
    case LGCP::DisplayParams::e_board:
      setBoardStatus(params.get_board());
      break;
    case LGCP::DisplayParams::e_snmpTrapReceivers:
      setSnmpTrapReceivers(params.get_snmpTrapReceivers());
      break;
    case LGCP::DisplayParams::e_framer:
      setFramerStatusChanged(params.get_framer());
      break;
    case LGCP::DisplayParams::e_emPhone:
      setEmPhoneInfo(params.get_emPhone());
      break;
    case LGCP::DisplayParams::e_controller:
      setControllerStatus(params.get_controller());
      break;
    case LGCP::DisplayParams::e_termCounter:
      setTermCounter(params.get_termCounter());
      break;
    case LGCP::DisplayParams::e_snmp_set:
      setSnmpCommands(params.get_snmp_set());
      break;
    default:
      break;
  }
}

void MonitoringDataHolder::setBoardStatus(const LGCP::BoardInfo& info) {
  if (!info.is_boardStatus()) return;
  const LGCP::BoardStatusParams& board = info.get_boardStatus();
  SaveStatusArg arg;
  arg.value = &board;
  SaveStatusToFile(mon_path("board" + std::to_string(board.get_position().getValue())),
                   &MonitoringDataHolder::BoardStatusSaver, &arg);
  // Kept whether or not the file could be written: an agent that connects gets it all the same.
  merge(boards, board,
        [](const LGCP::BoardStatusParams& b) { return b.get_position().getValue(); });
}

void MonitoringDataHolder::setEmPhoneInfo(const LGCP::EmPhoneInfo& info) {
  if (!info.is_phoneStatus()) return;
  const LGCP::EmPhoneStatusParams& phone = info.get_phoneStatus();
  SaveStatusArg arg;
  arg.value = &phone;
  SaveStatusToFile(mon_path("emphone" + std::to_string(phone.get_id().getValue())),
                   &MonitoringDataHolder::PhoneStatusSaver, &arg);
  merge(em_phones, phone, [](const LGCP::EmPhoneStatusParams& p) { return p.get_id().getValue(); });
}

void MonitoringDataHolder::setTermCounter(const LGCP::TermCounter& counter) {
  static const char* const kOwners[] = {nullptr, "router", "controller", "server"};
  const int32_t owner = counter.get_owner().asInt();
  std::string file;
  if (owner >= 1 && owner <= 3) {
    file = kOwners[owner];
  } else if (owner == LGCP::TermCounterOwner::extBoard && counter.has_ownerId()) {
    file = "board" + std::to_string(counter.get_ownerId().getValue());
  }
  if (!file.empty()) {
    SaveStatusArg arg;
    arg.count = counter.get_cnt().getValue();
    SaveStatusToFile(Path::board(kTermCntsDir) + file, &MonitoringDataHolder::TermCounterSaver,
                     &arg);
  }
  for (LGCP::TermCounter& kept : term_counters) {
    if (same_owner(kept, counter)) {
      kept.set_cnt(counter.get_cnt().getValue());
      return;
    }
  }
  term_counters.push_back(counter);
}

void MonitoringDataHolder::setSnmpTrapReceivers(const ASN1::SEQUENCE_OF<ASN1::IA5String>& list) {
  if (traces.monitoringInternal) std::clog << "Trap receivers:" << list << std::endl;
  trap_receivers.clear();
  for (const ASN1::IA5String& host : list) trap_receivers.push_back(host);
}

void MonitoringDataHolder::setSnmpCommands(const MON::SnmpSetCommands& commands) {
  auto& kept = snmp_commands.get_commands();
  for (const MON::SnmpSetCommand& command : commands.get_commands()) {
    bool found = false;
    for (MON::SnmpSetCommand& old : kept) {
      if (same_id(old.get_id(), command.get_id())) {
        old.set_value(command.get_value());
        found = true;
        break;
      }
    }
    if (!found) kept.push_back(command);
    if (!command.get_id().is_name()) continue;

    const MON::IniName& name = command.get_id().get_name();
    if (const char* fault = unwritable_because(name.get_section(), name.get_name())) {
      logs_.write(std::cerr, "monitoring: SNMP set value kept, not written", [&](std::ostream& os) {
        os << "monitoring: SNMP set value of section "
           << ext::escaped(std::string(name.get_section())) << " name "
           << ext::escaped(std::string(name.get_name())) << " kept, not written: " << fault;
      });
      continue;
    }
    const std::string section = mon_path(name.get_section());
    const std::string row = section + "/" + std::to_string(name.get_index().getValue());
    CheckForMonDir(section);
    CheckForMonDir(row);
    snmp_value = command.get_value();
    SaveStatusArg arg;
    arg.value = &snmp_value;
    SaveStatusToFile(row + "/" + std::string(name.get_name()),
                     &MonitoringDataHolder::StringParamSaver, &arg);
  }
}

void MonitoringDataHolder::ClearMonitorFiles() {
  if (!files_) return;
  const std::string folder = Path::board(kMonDir);
  for_each_entry(folder, [&](const std::string& name) { WrittenFile::remove(folder + name); });
}

void MonitoringDataHolder::ClearControllerFiles() {
  const std::string folder = Path::board(kMonDir);
  if (files_) {
    for_each_entry(folder, [&](const std::string& name) {
      if (name.compare(0, 5, "board") != 0) return;
      if (traces.monitoringInternal) std::clog << "remove monitoring info: " << name << std::endl;
      WrittenFile::remove(folder + name);
    });
  }
  // Forgotten whether or not the folder opens, as they are kept whether or not it is written.
  boards.clear();
}

void MonitoringDataHolder::fail_line(const char* what, const std::string& path, int error) {
  logs_.write(std::clog, what,
              [&](std::ostream& os) { os << what << path << "> with code=" << error; });
}

void MonitoringDataHolder::FlushLogs() {
  logs_.flush([](std::ostream&) {});
}

void MonitoringDataHolder::CheckForMonDir(const std::string& path) {
  if (!files_ || folder_exists(path)) return;
  if (!WrittenFile::make_folder(path, kDirMode))
    fail_line("FAIL create monitoring catalog <", path, errno);
}

void MonitoringDataHolder::CheckForMonControllerDir(const INet4::Addr& addr) {
  if (!files_) return;
  const std::string top = Path::board(kControllerDir);
  if (!folder_exists(top) && !WrittenFile::make_folder(top, kDirMode)) {
    fail_line("FAIL create monitoring catalog <", top, errno);
    return;
  }
  const std::string folder = top + addr.dotted();
  if (folder_exists(folder)) return;
  if (!WrittenFile::make_folder(folder, kDirMode)) {
    const int error = errno;
    fail_line("FAIL create monitoring catalog <", folder, error);
    // The link would go in the same folder.
    if (error == EXDEV) return;
  }
  if (!addr.IsEqual(self_address)) return;
  std::string name;
  const Fd in(Path::open_folder_inside_root(top + "self", name));
  if (!in || ::symlinkat(folder.c_str(), in.get(), name.c_str()) != 0)
    fail_line("FAIL create symlink to monitoring catalog <", folder, errno);
}

void MonitoringDataHolder::SaveStatusToFile(const std::string& path, Saver saver,
                                            const SaveStatusArg* arg) {
  if (!files_) return;
  // Both names are taken in the folder as found inside the root, whatever is swapped in later.
  std::string name;
  const Fd folder(Path::open_folder_inside_root(path, name));
  std::string temporary;
  const int fd = folder ? open_temporary(folder.get(), temporary) : -1;
  FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "w");
  if (!file) {
    const int error = errno;
    if (fd >= 0) {
      ::close(fd);
      ::unlinkat(folder.get(), temporary.c_str(), 0);
    }
    fail_line("FAIL create temporary file <", path, error);
    return;
  }
  errno = 0;
  (this->*saver)(file, arg);
  // The first failure's errno is the one logged; fclose runs whatever happened before it.
  int error = 0;
  if (std::fflush(file) != 0 || std::ferror(file)) error = errno ? errno : EIO;
  if (!error && ::fchmod(fd, file_mode()) != 0) error = errno;
  if (std::fclose(file) != 0 && !error) error = errno;
  if (!error && ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0)
    error = errno;
  if (error) {
    fail_line("FAIL write monitoring file <", path, error);
    ::unlinkat(folder.get(), temporary.c_str(), 0);
  }
}

void MonitoringDataHolder::DipStatusSaver(FILE* file, const SaveStatusArg*) {
  std::fprintf(file, "%" PRId32, dip_value);
}

void MonitoringDataHolder::PowerStatusSaver(FILE* file, const SaveStatusArg*) {
  const int32_t value = power_status.asInt();
  std::fputc(value >= 1 && value <= 3 ? '0' + value : '0', file);
}

void MonitoringDataHolder::ConfigVersionSaver(FILE* file, const SaveStatusArg*) {
  std::fprintf(file, "%08" PRIx32 "-%016" PRIx64, config_version32, config_version64);
}

void MonitoringDataHolder::BoardStatusSaver(FILE* file, const SaveStatusArg* arg) {
  if (!file || !arg || !arg->value) return;
  const auto& board = *static_cast<const LGCP::BoardStatusParams*>(arg->value);
  std::fprintf(file, "%" PRId32 "\n", board.get_status().asInt());
  write_octets(file, board.get_version());
  std::fprintf(file, "%" PRId32 "\n", board.get_type().asInt());
}

void MonitoringDataHolder::PhoneStatusSaver(FILE* file, const SaveStatusArg* arg) {
  if (!file || !arg || !arg->value) return;
  const auto& phone = *static_cast<const LGCP::EmPhoneStatusParams*>(arg->value);
  write_octets(file, phone.get_panelSV());
  write_octets(file, phone.get_ctrlSV());
  write_octets(file, phone.get_fpgaSV());
  for (int32_t value :
       {phone.get_status().asInt(), phone.get_powerStatus().asInt(), phone.get_mode().asInt(),
        phone.get_hookStatus().asInt(), phone.get_baseStatus().asInt()})
    std::fprintf(file, "%" PRId32 "\n", value);
}

void MonitoringDataHolder::TermCounterSaver(FILE* file, const SaveStatusArg* arg) {
  if (arg) std::fprintf(file, "%" PRId32, arg->count);
}

void MonitoringDataHolder::ControllerStatusSaver(FILE* file, const SaveStatusArg* arg) {
  if (arg && arg->value)
    std::fprintf(file, "%" PRId32, static_cast<const HSP::ControllerStatus*>(arg->value)->asInt());
}

void MonitoringDataHolder::StringParamSaver(FILE* file, const SaveStatusArg* arg) {
  if (!arg || !arg->value) return;
  const auto& text = *static_cast<const std::string*>(arg->value);
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}
