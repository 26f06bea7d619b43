#include "base/child_groups.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <set>
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

// Removes `name` from the folder `dir`: a folder with all it holds, `depth` levels deep at most,
// without following a link or entering another file system. False with errno set when
// something stays.
bool remove_entry(const Fd& dir, const std::string& name, int depth) {
  if (::unlinkat(dir.get(), name.c_str(), 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR) return false;
  struct stat outer;
  struct stat inner;
  const Fd sub(::openat(dir.get(), name.c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!sub || ::fstat(dir.get(), &outer) != 0 || ::fstat(sub.get(), &inner) != 0) return false;
  if (inner.st_dev != outer.st_dev || depth == 0) {
    errno = inner.st_dev != outer.st_dev ? EXDEV : ENOTEMPTY;
    return false;
  }
  for (const std::string& n : names_in(sub)) {
    if (!remove_entry(sub, n, depth - 1)) return false;
  }
  return ::unlinkat(dir.get(), name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

class Registry {
 public:
  void start();
  void record(int pgid, const std::string& mark);
  void ended(int pgid);

 private:
  enum class Verdict { kKeep, kDrop, kKill, kUnproven };

  std::string path(const std::string& name) const { return folder_ + "/" + name; }
  bool open_folder();
  // Reads the record at `name`; false with the reason in `why` when it is none.
  bool read(const std::string& name, Record& r, const char*& why) const;
  Verdict judge(const Record& r, const Members& members) const;
  // Removes what is at `name`; false with errno set when it stays.
  bool remove(const std::string& name) const;
  // remove(), and one line when it fails.
  void drop(const std::string& name) const;
  // The daemon's own pid and start time, read again after a fork.
  bool self(int& pid, unsigned long long& start);

  std::string folder_;
  Fd dir_;
  struct stat dir_stat_ = {};
  std::string boot_;
  std::set<int> recorded_;
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
  dir_ = std::move(dir);
  dir_stat_ = st;
  return true;
}

bool Registry::read(const std::string& name, Record& r, const char*& why) const {
  struct stat st;
  if (::fstatat(dir_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if ((why = refusal(st))) return false;
  Fd fd(::openat(dir_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                                               O_CLOEXEC));
  struct stat opened;
  if (!fd || ::fstat(fd.get(), &opened) != 0 || opened.st_ino != st.st_ino ||
      opened.st_dev != st.st_dev) {
    why = "replaced while read";
    return false;
  }
  char text[kMaxRecord + 1];
  const ssize_t n = ::read(fd.get(), text, sizeof text);
  if (n <= 0 || !parse(std::string(text, size_t(n)), r)) {
    why = "not a record";
  } else if (name != std::to_string(r.pgid)) {
    why = "not the record of its name";
  } else if (r.folder_device != dir_stat_.st_dev || r.folder_inode != dir_stat_.st_ino) {
    why = "of another root";
  }
  return why == nullptr;
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
    if (m.session != r.session || m.start < r.leader_start) continue;
    // While the leader holds its pid no later group can have the id; after it, a member proves
    // the group with its mark.
    if (leader_held || proc_environ_holds(m.pid, ChildGroups::kMarkName + ('=' + r.mark))) {
      return Verdict::kKill;
    }
    later = false;
  }
  // Another session, or members older than the leader: certainly a later group.
  return later ? Verdict::kDrop : Verdict::kUnproven;
}

bool Registry::remove(const std::string& name) const {
  return remove_entry(dir_, name, kFolderDepth);
}

void Registry::drop(const std::string& name) const {
  if (!remove(name)) {
    std::cerr << "child group record " << path(name) << ": " << std::strerror(errno)
              << "; not removed" << std::endl;
  }
}

void Registry::start() {
  if (dir_ || !open_folder()) return;
  const Members members = live_members();
  std::map<std::string, Record> killed;
  for (const std::string& name : names_in(dir_)) {
    Record r;
    const char* why = nullptr;
    if (!read(name, r, why)) {
      std::cerr << "child group record " << path(name) << ": " << why;
      if (remove(name)) {
        std::cerr << "; removed" << std::endl;
      } else {
        std::cerr << "; not removed: " << std::strerror(errno) << std::endl;
      }
      continue;
    }
    switch (judge(r, members)) {
      case Verdict::kKeep:
        break;
      case Verdict::kUnproven:
        std::cerr << "child group " << r.pgid
                  << ": no member carries the mark of the recorded group; left alone" << std::endl;
        drop(name);
        break;
      case Verdict::kDrop:
        drop(name);
        break;
      case Verdict::kKill:
        if (::kill(-r.pgid, SIGKILL) != 0 && errno != ESRCH) {
          std::cerr << "child group " << r.pgid << ": SIGKILL: " << std::strerror(errno)
                    << std::endl;
        }
        killed[name] = r;
        break;
    }
  }
  // Their members end as soon as they run; one in an uninterruptible wait may take longer.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(ChildGroups::kEndWaitMs);
  while (!killed.empty()) {
    const Members now = live_members();
    for (auto k = killed.begin(); k != killed.end();) {
      if (now.count(k->second.pgid) != 0) {
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

void Registry::record(int pgid, const std::string& mark) {
  if (!dir_ || pgid <= 1) return;
  Record r;
  r.boot = boot_;
  r.pgid = pgid;
  r.folder_device = dir_stat_.st_dev;
  r.folder_inode = dir_stat_.st_ino;
  r.mark = mark;
  ProcStat leader;
  const std::string name = std::to_string(pgid);
  Fd fd;
  const char* why = nullptr;
  if (!self(r.daemon, r.daemon_start) || !read_proc_stat(pgid, leader)) {
    why = "a process cannot be read";
  } else {
    r.leader_start = leader.start;
    r.session = leader.session;
    // Whatever is at the name goes: a group of that id can only be this one.
    const std::string line = line_of(r);
    if (remove(name)) {
      fd = Fd(::openat(dir_.get(), name.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    }
    if (!fd || !write_all(fd.get(), line.data(), line.size())) why = std::strerror(errno);
  }
  if (why) {
    std::cerr << "child group " << pgid << ": record " << path(name) << " not written: " << why
              << std::endl;
    if (fd) ::unlinkat(dir_.get(), name.c_str(), 0);
    return;
  }
  recorded_.insert(pgid);
}

void Registry::ended(int pgid) {
  if (recorded_.erase(pgid) != 0) drop(std::to_string(pgid));
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

}  // namespace ChildGroups
