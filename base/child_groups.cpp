#include "base/child_groups.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/fd.h"
#include "base/path.h"
#include "base/proc.h"
#include "base/random_bytes.h"
#include "base/write_all.h"
#include "base/written_file.h"

namespace {

constexpr const char* kFolder = "/var/run/server-groups";
// A record is one short line: anything longer is not one.
constexpr size_t kMaxRecord = 256;
constexpr int kBootIdLength = 36;
constexpr size_t kMarkBytes = 16;
// How deep a folder at a record's name is removed.
constexpr int kFolderDepth = 8;
// The names a group's record may take besides its id: ID.1 to ID.kSpareNames.
constexpr int kSpareNames = 8;
// The kernel's largest pid.
constexpr int kPidMax = 1 << 22;

struct Record {
  std::string boot;
  int daemon = 0;
  unsigned long long daemon_start = 0;
  int pgid = 0;
  unsigned long long leader_start = 0;
  int session = 0;
  // The folder the record was written in.
  unsigned long long folder_device = 0;
  unsigned long long folder_inode = 0;
  std::string mark;
};

// `word` as a decimal number of at most `max`, digits only.
template <class T>
bool number(const std::string& word, T max, T& value) {
  if (word.empty() || word.size() > 20) return false;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
  }
  const auto parsed = std::from_chars(word.data(), word.data() + word.size(), value);
  return parsed.ec == std::errc() && value <= max;
}

// `word` is `length` lower-case hex digits, and dashes where `dashes`.
bool hex_shaped(const std::string& word, size_t length, bool dashes) {
  if (word.size() != length) return false;
  for (char c : word) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (dashes && c == '-'))) return false;
  }
  return true;
}

bool boot_id_shaped(const std::string& word) { return hex_shaped(word, kBootIdLength, true); }

// One line of nine fields separated by single blanks, ended by a newline.
bool parse(const std::string& text, Record& r) {
  if (text.empty() || text.back() != '\n') return false;
  std::vector<std::string> words(1);
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == ' ') {
      words.emplace_back();
    } else {
      words.back() += text[i];
    }
  }
  if (words.size() != 9 || !boot_id_shaped(words[0]) ||
      !hex_shaped(words[8], 2 * kMarkBytes, false)) {
    return false;
  }
  r.boot = words[0];
  r.mark = words[8];
  constexpr unsigned long long kMax = ~0ull;
  return number(words[1], kPidMax, r.daemon) && number(words[2], kMax, r.daemon_start) &&
         number(words[3], kPidMax, r.pgid) && number(words[4], kMax, r.leader_start) &&
         number(words[5], kPidMax, r.session) && number(words[6], kMax, r.folder_device) &&
         number(words[7], kMax, r.folder_inode) && r.daemon > 0 && r.pgid > 1;
}

// Why the file `st` describes is no record, or null.
const char* refusal(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return "a symbolic link";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_nlink != 1) return "a file with other links";
  if (st.st_uid != ::geteuid()) return "of another owner";
  if (st.st_size > off_t(kMaxRecord)) return "too long";
  return nullptr;
}

std::string line_of(const Record& r) {
  return r.boot + ' ' + std::to_string(r.daemon) + ' ' + std::to_string(r.daemon_start) + ' ' +
         std::to_string(r.pgid) + ' ' + std::to_string(r.leader_start) + ' ' +
         std::to_string(r.session) + ' ' + std::to_string(r.folder_device) + ' ' +
         std::to_string(r.folder_inode) + ' ' + r.mark + '\n';
}

// The record name `spare` of the group `pgid`: its id, else ID.SPARE.
std::string name_of(int pgid, int spare) {
  return spare == 0 ? std::to_string(pgid) : std::to_string(pgid) + '.' + std::to_string(spare);
}

// Whether `name` is one of the names the record of the group `pgid` may take.
bool names(const std::string& name, int pgid) {
  for (int spare = 0; spare <= kSpareNames; ++spare) {
    if (name == name_of(pgid, spare)) return true;
  }
  return false;
}

std::string read_boot_id() {
  char text[64];
  const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  const ssize_t n = ::read(fd, text, sizeof text);
  ::close(fd);
  std::string id(text, n > 0 ? size_t(n) : 0);
  while (!id.empty() && id.back() == '\n') id.pop_back();
  return boot_id_shaped(id) ? id : "";
}

// Whether `pid` runs with the start time `start`: a process that has ended and waits to be
// reaped (a killed daemon whose parent has not yet waited for it) runs no more.
bool runs(int pid, unsigned long long start) {
  ProcStat stat;
  return read_proc_stat(pid, stat) && stat.start == start && stat.state != 'Z' &&
         stat.state != 'X';
}

// The live processes (zombies left out), by group.
using Members = std::map<int, std::vector<ProcStat>>;

Members live_members() {
  Members members;
  each_proc([&](int pid) {
    ProcStat stat;
    if (read_proc_stat(pid, stat) && stat.state != 'Z') members[stat.group].push_back(stat);
  });
  return members;
}

// The names in the folder `dir` (its offset is shared with the copy read here).
std::vector<std::string> names_in(const Fd& dir) {
  std::vector<std::string> found;
  Fd copy(dir.dup());
  DIR* stream = copy ? ::fdopendir(copy.get()) : nullptr;
  if (!stream) return found;
  copy.release();
  ::rewinddir(stream);
  while (const dirent* e = ::readdir(stream)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") found.push_back(name);
  }
  ::closedir(stream);
  return found;
}

// The mount that the open file `fd` lies on; false when the kernel does not tell.
bool mount_of(int fd, uint64_t& mount) {
  struct statx sx = {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0 || !(sx.stx_mask & STATX_MNT_ID)) {
    return false;
  }
  mount = sx.stx_mnt_id;
  return true;
}

// Removes `name` from the folder `dir` (`where` below the records' folder, "" for that folder
// itself), which lies on `mount`: a folder with all it holds, `depth` levels deep at most,
// without following a link or entering another mount. A mount is told by the kernel's id for it,
// which a bind mount of a folder of the same file system does not share. False when something
// stays, with `left` saying what and why.
bool remove_entry(const Fd& dir, uint64_t mount, const std::string& where,
                  const std::string& name, int depth, std::string& left) {
  const std::string here = where.empty() ? name : where + '/' + name;
  const auto stays = [&](const std::string& why) {
    left = where.empty() ? why : why + " at " + here;
    return false;
  };
  if (::unlinkat(dir.get(), name.c_str(), 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR) return stays(std::strerror(errno));
  const Fd sub(::openat(dir.get(), name.c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  uint64_t inner = 0;
  if (!sub) return stays(std::strerror(errno));
  if (!mount_of(sub.get(), inner)) return stays("its mount cannot be told");
  if (inner != mount) return stays("a mount point");
  if (depth == 0) return stays("more than " + std::to_string(kFolderDepth) + " folders deep");
  for (const std::string& n : names_in(sub)) {
    if (!remove_entry(sub, mount, here, n, depth - 1, left)) return false;
  }
  if (::unlinkat(dir.get(), name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
  return stays(std::strerror(errno));
}

// The line that names a group whose id has members the daemon cannot prove its own.
void left_alone(int pgid) {
  std::cerr << "child group " << pgid
            << ": no member carries the mark of the recorded group; left alone" << std::endl;
}

// Whether `m` may be a member of the group `r` records: a live process of its id and session,
// started no earlier than its leader.
bool fits(const Record& r, const ProcStat& m) {
  return m.group == r.pgid && m.session == r.session && m.start >= r.leader_start &&
         m.state != 'Z' && m.state != 'X';
}

// Whether the leader of the group `r` records still holds its pid (also as a process that has
// ended and waits to be reaped): no later group can have the id meanwhile.
bool leader_holds(const Record& r) {
  ProcStat leader;
  return read_proc_stat(r.pgid, leader) && leader.start == r.leader_start;
}

bool marked(const Record& r, int pid) {
  return proc_environ_holds(pid, ChildGroups::kMarkName + ('=' + r.mark));
}

enum class Proof { kGone, kUnproven, kProven };

// A descriptor of the process `pid` (close-on-exec), or -1 with errno set (ENOSYS for a kernel
// without them). Called by number: not every C library declares it.
int open_pid(int pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int signal_held(int held, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, held, signal, nullptr, 0));
}

// Sends `signal` (none when 0) to `pid` when it is proven a member of the group `r` records:
// it fits, and its leader holds its pid or it carries the group's mark. The process is held by
// a pid descriptor before it is proven, and the signal goes to what is held: a pid taken again
// after the proof names another process, which the signal does not reach.
Proof signal_proven(const Record& r, int pid, int signal) {
  const Fd held(open_pid(pid));
  if (!held && errno == ESRCH) return Proof::kGone;
  // Without a descriptor all the same (a kernel without them, none free), kill() follows the
  // proof, which leaves a short window in which the pid may be taken again.
  ProcStat m;
  if (!read_proc_stat(pid, m) || m.group != r.pgid || m.state == 'Z') return Proof::kGone;
  if (!fits(r, m) || !(leader_holds(r) || marked(r, pid))) return Proof::kUnproven;
  if (signal == 0) return Proof::kProven;
  const int sent = held ? signal_held(held.get(), signal) : ::kill(pid, signal);
  if (sent != 0 && errno != ESRCH) {
    std::cerr << "child group " << r.pgid << ": signal " << signal << " to " << pid << ": "
              << std::strerror(errno) << std::endl;
  }
  return Proof::kProven;
}

// Sends `signal` (none when 0) to every live member of `r`'s group that is proven its own; how
// many were. `unproven` tells whether a live process of the group's id was not.
size_t signal_members(const Record& r, int signal, bool& unproven) {
  size_t proven = 0;
  unproven = false;
  each_proc([&](int pid) {
    ProcStat stat;
    if (!read_proc_stat(pid, stat) || stat.group != r.pgid) return;
    switch (signal_proven(r, pid, signal)) {
      case Proof::kGone:
        break;
      case Proof::kUnproven:
        unproven = true;
        break;
      case Proof::kProven:
        ++proven;
        break;
    }
  });
  return proven;
}

class Registry {
 public:
  void start();
  void record(int pgid, const std::string& mark);
  void ended(int pgid);
  size_t signal(int pgid, int signal);

 private:
  enum class Verdict { kKeep, kDrop, kKill, kUnproven };
  // A group this daemon made that it has not seen end: what proves its members, and the name
  // its record is written under ("" when it is not written).
  struct Group {
    Record record;
    std::string name;
  };

  std::string path(const std::string& name) const { return folder_ + "/" + name; }
  bool open_folder();
  // Reads the record at `name`; false with the reason in `why` when it is none.
  bool read(const std::string& name, Record& r, std::string& why) const;
  Verdict judge(const Record& r, const Members& members) const;
  // Removes what is at `name`; false with what stays, and why, in `left`.
  bool remove(const std::string& name, std::string& left) const;
  // remove(), and one line when something stays.
  void drop(const std::string& name) const;
  // Writes `line` as the record `name`, what is there removed first; false with the reason in
  // `why` when it is not written.
  bool write(const std::string& name, const std::string& line, std::string& why) const;
  // Writes the record of `g` under the first name that takes it.
  void write(Group& g) const;
  // The daemon's own pid and start time, read again after a fork.
  bool self(int& pid, unsigned long long& start);

  std::string folder_;
  Fd dir_;
  struct stat dir_stat_ = {};
  uint64_t dir_mount_ = 0;
  std::string boot_;
  std::map<int, Group> groups_;
  int self_pid_ = 0;
  unsigned long long self_start_ = 0;
};

Registry& registry() {
  static Registry r;
  return r;
}

bool Registry::open_folder() {
  boot_ = read_boot_id();
  if (boot_.empty()) {
    std::cerr << "child groups: the boot id cannot be read; programs are not recorded"
              << std::endl;
    return false;
  }
  folder_ = Path::board(kFolder);
  // Made and opened in var/run as found inside the root: a var/run swapped for a link meanwhile
  // is refused.
  std::string name;
  const Fd run(Path::open_folder_inside_root(folder_, name));
  if (!run || (::mkdirat(run.get(), name.c_str(), 0755) != 0 && errno != EEXIST)) {
    std::cerr << "child groups " << folder_ << ": " << WrittenFile::failure(errno)
              << "; programs are not recorded" << std::endl;
    return false;
  }
  Fd dir(::openat(run.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (!dir || ::fstat(dir.get(), &st) != 0) {
    std::cerr << "child groups " << folder_ << ": "
              << (errno == ELOOP || errno == ENOTDIR ? "not a folder" : std::strerror(errno))
              << "; programs are not recorded" << std::endl;
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    std::cerr << "child groups " << folder_ << ": of another owner; programs are not recorded"
              << std::endl;
    return false;
  }
  // Unknown, no folder at a record's name is entered.
  mount_of(dir.get(), dir_mount_);
  dir_ = std::move(dir);
  dir_stat_ = st;
  return true;
}

bool Registry::read(const std::string& name, Record& r, std::string& why) const {
  struct stat st;
  if (::fstatat(dir_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (const char* refused = refusal(st)) {
    why = refused;
    return false;
  }
  Fd fd(::openat(dir_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                                               O_CLOEXEC));
  if (!fd) {
    why = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  struct stat opened;
  if (::fstat(fd.get(), &opened) != 0 || opened.st_ino != st.st_ino ||
      opened.st_dev != st.st_dev) {
    why = "replaced while read";
    return false;
  }
  char text[kMaxRecord + 1];
  const ssize_t n = ::read(fd.get(), text, sizeof text);
  if (n < 0) {
    why = std::string("cannot be read: ") + std::strerror(errno);
  } else if (!parse(std::string(text, size_t(n)), r)) {
    why = "not a record";
  } else if (!names(name, r.pgid)) {
    why = "not the record of its name";
  } else if (r.folder_device != dir_stat_.st_dev || r.folder_inode != dir_stat_.st_ino) {
    why = "of another root";
  }
  return why.empty();
}

Registry::Verdict Registry::judge(const Record& r, const Members& members) const {
  if (r.boot != boot_) return Verdict::kDrop;
  if (runs(r.daemon, r.daemon_start)) return Verdict::kKeep;
  const auto found = members.find(r.pgid);
  if (found == members.end()) return Verdict::kDrop;
  ProcStat leader;
  const bool leader_held = read_proc_stat(r.pgid, leader);
  // The leader's pid taken by another process: the group ended before it could be.
  if (leader_held && leader.start != r.leader_start) return Verdict::kDrop;
  bool later = true;
  for (const ProcStat& m : found->second) {
    if (!fits(r, m)) continue;
    // While the leader holds its pid no later group can have the id.
    if (leader_held || marked(r, m.pid)) return Verdict::kKill;
    later = false;
  }
  // Another session, or members older than the leader: certainly a later group.
  return later ? Verdict::kDrop : Verdict::kUnproven;
}

bool Registry::remove(const std::string& name, std::string& left) const {
  return remove_entry(dir_, dir_mount_, "", name, kFolderDepth, left);
}

void Registry::drop(const std::string& name) const {
  std::string left;
  if (!remove(name, left)) {
    std::cerr << "child group record " << path(name) << ": not removed: " << left << std::endl;
  }
}

void Registry::start() {
  if (dir_ || !open_folder()) return;
  const Members members = live_members();
  std::map<std::string, Record> killed;
  for (const std::string& name : names_in(dir_)) {
    Record r;
    std::string why;
    if (!read(name, r, why)) {
      std::string left;
      std::cerr << "child group record " << path(name) << ": " << why
                << (remove(name, left) ? "; removed" : "; not removed: " + left) << std::endl;
      continue;
    }
    switch (judge(r, members)) {
      case Verdict::kKeep:
        break;
      case Verdict::kUnproven:
        left_alone(r.pgid);
        drop(name);
        break;
      case Verdict::kDrop:
        drop(name);
        break;
      case Verdict::kKill:
        killed[name] = r;
        break;
    }
  }
  // The proven members are killed, and again at each look until none is left: one forked
  // meanwhile is proven as its parent was. They end as soon as they run; one in an
  // uninterruptible wait may take longer.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(ChildGroups::kEndWaitMs);
  while (!killed.empty()) {
    for (auto k = killed.begin(); k != killed.end();) {
      bool unproven = false;
      if (signal_members(k->second, SIGKILL, unproven) != 0) {
        ++k;
        continue;
      }
      std::cerr << "child group " << k->second.pgid
                << ": left running by an earlier daemon, killed" << std::endl;
      drop(k->first);
      k = killed.erase(k);
    }
    if (killed.empty() || std::chrono::steady_clock::now() >= deadline) break;
    ::poll(nullptr, 0, 10);
  }
  for (const auto& k : killed) {
    std::cerr << "child group " << k.second.pgid
              << ": left running by an earlier daemon, still running after SIGKILL" << std::endl;
  }
}

bool Registry::self(int& pid, unsigned long long& start) {
  const int now = ::getpid();
  if (now != self_pid_) {
    ProcStat stat;
    if (!read_proc_stat(now, stat)) return false;
    self_pid_ = now;
    self_start_ = stat.start;
  }
  pid = self_pid_;
  start = self_start_;
  return true;
}

bool Registry::write(const std::string& name, const std::string& line, std::string& why) const {
  if (!remove(name, why)) return false;
  Fd fd(::openat(dir_.get(), name.c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (fd && write_all(fd.get(), line.data(), line.size())) return true;
  why = std::strerror(errno);
  if (fd) ::unlinkat(dir_.get(), name.c_str(), 0);
  return false;
}

void Registry::write(Group& g) const {
  const int pgid = g.record.pgid;
  const std::string line = line_of(g.record);
  // Whatever is at the group's name goes, as far as it may: a group of that id can only be this
  // one. What stays there leaves the record a spare name, which the start reads as well.
  std::string why;
  for (int spare = 0; spare <= kSpareNames && g.name.empty(); ++spare) {
    std::string failed;
    if (write(name_of(pgid, spare), line, failed)) {
      g.name = name_of(pgid, spare);
    } else if (spare == 0) {
      why = failed;
    }
  }
  if (g.name == name_of(pgid, 0)) return;
  std::cerr << "child group " << pgid << ": record " << path(name_of(pgid, 0))
            << " not written: " << why;
  if (!g.name.empty()) std::cerr << "; written as " << path(g.name);
  std::cerr << std::endl;
}

void Registry::record(int pgid, const std::string& mark) {
  if (pgid <= 1) return;
  ended(pgid);
  ProcStat leader;
  const bool known = read_proc_stat(pgid, leader);
  Group g;
  Record& r = g.record;
  r.boot = boot_;
  r.pgid = pgid;
  r.leader_start = leader.start;
  r.session = leader.session;
  r.folder_device = dir_stat_.st_dev;
  r.folder_inode = dir_stat_.st_ino;
  r.mark = mark;
  if (dir_ && known && self(r.daemon, r.daemon_start)) {
    write(g);
  } else if (dir_) {
    std::cerr << "child group " << pgid << ": record " << path(name_of(pgid, 0))
              << " not written: a process cannot be read" << std::endl;
  }
  if (known) groups_[pgid] = g;
}

void Registry::ended(int pgid) {
  const auto g = groups_.find(pgid);
  if (g == groups_.end()) return;
  if (!g->second.name.empty()) drop(g->second.name);
  groups_.erase(g);
}

size_t Registry::signal(int pgid, int signal) {
  const auto g = groups_.find(pgid);
  // A group ended already (sent SIGKILL as a whole) or never recorded: what still has its id
  // (killed members not yet reaped) is neither signalled nor named.
  if (g == groups_.end()) return 0;
  // Nothing has the id: the group has ended, and no search is needed.
  const bool held = ::kill(-pgid, 0) == 0 || errno == EPERM;
  bool unproven = false;
  const size_t proven = held ? signal_members(g->second.record, signal, unproven) : 0;
  if (proven != 0) return proven;
  if (unproven) left_alone(pgid);
  ended(pgid);
  return 0;
}

}  // namespace

namespace ChildGroups {

void start() { registry().start(); }

std::string new_mark() {
  unsigned char bytes[kMarkBytes];
  random_bytes(bytes, sizeof bytes);
  static const char kDigits[] = "0123456789abcdef";
  std::string mark;
  for (unsigned char b : bytes) {
    mark += kDigits[b >> 4];
    mark += kDigits[b & 15];
  }
  return mark;
}

void record(int pgid, const std::string& mark) { registry().record(pgid, mark); }
void ended(int pgid) { registry().ended(pgid); }
size_t signal(int pgid, int signal) { return registry().signal(pgid, signal); }

}  // namespace ChildGroups
