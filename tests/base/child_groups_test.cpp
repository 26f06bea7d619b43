// ChildGroups at the start of a daemon: the groups that a killed daemon left running are
// ended before the start goes on, and nothing else is signalled, whatever lies in the folder of
// the records.
#include "base/child_groups.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/child_program.h"
#include "base/path.h"
#include "base/proc.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/processes.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

// The fields the kernel gives must be those that the identity of a process is built from.
TEST(ProcStatTest, FieldsAreThoseOfTheProcess) {
  ProcStat stat;
  ASSERT_TRUE(read_proc_stat(::getpid(), stat));
  EXPECT_EQ(stat.parent, ::getppid());
  EXPECT_EQ(stat.group, ::getpgrp());
  EXPECT_EQ(stat.session, ::getsid(0));
  double uptime = 0;
  std::istringstream(read_file("/proc/uptime")) >> uptime;
  const auto now = static_cast<unsigned long long>(uptime * ::sysconf(_SC_CLK_TCK));
  EXPECT_LE(stat.start, now);
  // A child started now: its start time is now's, whatever the uptime.
  const pid_t child = ::fork();
  if (child == 0) {
    ::pause();
    ::_exit(0);
  }
  ProcStat started;
  ASSERT_TRUE(read_proc_stat(child, started));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_GE(started.start, now);
  EXPECT_LT(started.start - now, 5ull * ::sysconf(_SC_CLK_TCK));
  EXPECT_FALSE(read_proc_stat(0, stat));
}

std::string folder() { return Path::board("/var/run/server-groups"); }

unsigned long long start_of(pid_t pid) {
  ProcStat stat;
  return read_proc_stat(pid, stat) ? stat.start : 0;
}

// The device and inode of `path`, as a record names its folder.
std::string folder_id(const std::string& path) {
  struct stat st = {};
  ::stat(path.c_str(), &st);
  return std::to_string(st.st_dev) + ' ' + std::to_string(st.st_ino);
}

// The mark of the groups these records name, which no process of the test carries.
const char* const kMark = "0123456789abcdef0123456789abcdef";

// A record line as a daemon writes it; `daemon_alive` names this test's process as the daemon,
// otherwise a daemon that no longer runs (this pid with another start time).
std::string record_line(bool daemon_alive, pid_t pgid, unsigned long long leader_start,
                        pid_t session, const std::string& boot,
                        const std::string& folder = folder_id(Path::board(
                            "/var/run/server-groups"))) {
  std::ostringstream line;
  line << boot << ' ' << ::getpid() << ' ' << start_of(::getpid()) + (daemon_alive ? 0 : 1) << ' '
       << pgid << ' ' << leader_start << ' ' << session << ' ' << folder << ' ' << kMark << '\n';
  return line.str();
}

std::string boot_id() {
  std::string id = read_file("/proc/sys/kernel/random/boot_id");
  if (!id.empty()) id.pop_back();
  return id;
}

// Runs `work` in a child process of its own; the child's pid.
pid_t in_child(const std::function<void()>& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    work();
    ::_exit(0);
  }
  return pid;
}

// A `sleep` leading a group of its own, a child of this test.
pid_t sleeper_group() {
  const pid_t pid = in_child([] {
    ::setpgid(0, 0);
    ::execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
  });
  ::setpgid(pid, pid);
  return pid;
}

// What a case leaves for the next start.
struct Scene {
  std::vector<pid_t> victims;     // to be ended by the start
  std::vector<pid_t> bystanders;  // to be left alone
  std::vector<std::string> kept;  // record names left in the folder
  std::vector<std::string> outside;  // files outside the folder, left alone
  pid_t unreaped = 0;                // the killed daemon, reaped once the case is over
  std::vector<std::string> mounts = {};      // unmounted once the case is over
  std::function<bool()> in_start = nullptr;  // run first by the start's process; false gives up
};

// `s`, whose start gets `error` from pidfd_open (the call's number is the same on every machine).
Scene pidfd_refused(int error, Scene s) {
  s.in_start = [error] {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pidfd_open, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
  };
  return s;
}

Scene bystanders(std::vector<pid_t> pids) {
  Scene scene;
  scene.bystanders = std::move(pids);
  return scene;
}

// A daemon that starts `script` as a group's leader and is then killed. The script writes the
// pids of the group's processes that run on to $PIDS, `count` of them; the daemon reaps a
// leader that ends, as the daemon's child waits do. Unless `reap`, the daemon has ended but is
// not yet waited for.
Scene killed_daemon(const std::string& script, size_t count, bool reap = true) {
  const std::string pids = Path::board("/pids");
  const pid_t daemon = in_child([&] {
    ChildGroups::start();
    ChildProgram program{{"/bin/sh", "-c", "PIDS=" + pids + "; " + script}};
    program.own_group = true;
    spawn(program);
    for (;;) {
      if (::wait(nullptr) < 0) ::pause();
    }
  });
  Scene scene;
  wait_until([&] {
    const std::vector<pid_t> children = children_of(daemon);
    return (scene.victims = pids_in(pids)).size() == count && alive_of(children) == children;
  }, 5000);
  ::kill(daemon, SIGKILL);
  if (reap) {
    ::waitpid(daemon, nullptr, 0);
  } else {
    siginfo_t info;
    ::waitid(P_PID, daemon, &info, WEXITED | WNOWAIT);
    scene.unreaped = daemon;
  }
  return scene;
}

// A group led by a shell that starts a sleeper and ends (in a session of its own when
// `own_session`), and its record, in this test's session; the sleeper is a bystander: it
// carries no mark.
Scene leader_ended(bool own_session) {
  const std::string pids = Path::board("/pids");
  const pid_t leader = in_child([&] {
    own_session ? ::setsid() : ::setpgid(0, 0);
    ::execl("/bin/sh", "sh", "-c", ("sleep 1000 & echo $! > " + pids).c_str(),
            static_cast<char*>(nullptr));
  });
  const unsigned long long start = start_of(leader);
  std::vector<pid_t> member;
  wait_until([&] { return (member = pids_in(pids)).size() == 1; }, 5000);
  ::waitpid(leader, nullptr, 0);
  std::ofstream(folder() + "/" + std::to_string(leader))
      << record_line(false, leader, start, ::getsid(0), boot_id());
  return bystanders(member);
}

// A record of the group that a new sleeper leads, with `edit` applied to its line; the sleeper
// is a bystander.
Scene sleeper_record(const std::function<std::string(pid_t, std::string)>& edit,
                     bool daemon_alive = false) {
  const pid_t pid = sleeper_group();
  const std::string line =
      edit(pid, record_line(daemon_alive, pid, start_of(pid), ::getsid(0), boot_id()));
  std::ofstream(folder() + "/" + std::to_string(pid)) << line;
  return bystanders({pid});
}

// Runs `command` in a shell, with the path of the record's name of `pgid` in $AT.
void at_name(pid_t pgid, const std::string& command) {
  const std::string at = "AT=" + folder() + "/" + std::to_string(pgid) + "; ";
  EXPECT_EQ(std::system((at + command).c_str()), 0) << command;
}

// A group that a daemon records and leaves running when it ends, `obstacle` (run by at_name)
// having been put at the record's name after the daemon's start.
Scene recorded_past(const std::string& obstacle) {
  Scene s;
  s.victims = {sleeper_group()};
  ::waitpid(in_child([&] {
    ChildGroups::start();
    at_name(s.victims[0], obstacle);
    ChildGroups::record(s.victims[0], kMark);
  }), nullptr, 0);
  return s;
}

struct Case {
  const char* name;
  std::function<Scene()> make;
  const char* line;       // in the start's output
  const char* also = "";  // in another line of it
};

void run_starts(const std::vector<Case>& cases);

TEST(ChildGroupsTest, StartEndsOnlyTheGroupsAKilledDaemonLeft) {
  const std::string other_boot = [] {
    std::string id = boot_id();
    id[0] = id[0] == '0' ? '1' : '0';
    return id;
  }();
  run_starts({
      {"leader and member", [] {
         return killed_daemon("sleep 1000 & echo $$ $! > $PIDS; wait", 2);
       }, "left running by an earlier daemon, killed"},
      {"leader and member, the daemon ended but not yet reaped", [] {
         return killed_daemon("sleep 1000 & echo $$ $! > $PIDS; wait", 2, false);
       }, "left running by an earlier daemon, killed"},
      // The kernel gives 0 for a session whose leader is beyond the pid namespace, as this
      // test's own may be: then 1 is the session the group is not in.
      {"another session", [] {
         return sleeper_record([](pid_t pid, std::string) {
           const pid_t other = ::getsid(0) == 0 ? 1 : 0;
           return record_line(false, pid, start_of(pid), other, boot_id());
         });
       }, ""},
      {"leader ended, member left", [] {
         return killed_daemon("sleep 1000 & echo $! > $PIDS", 1);
       }, "left running by an earlier daemon, killed"},
      {"leader's pid taken by another process", [] {
         return sleeper_record([](pid_t pid, std::string) {
           return record_line(false, pid, start_of(pid) - 1, ::getsid(0), boot_id());
         });
       }, ""},
      {"its daemon runs", [] {
         Scene s = sleeper_record([](pid_t, std::string line) { return line; }, true);
         s.kept = {std::to_string(s.bystanders[0])};
         return s;
       }, ""},
      {"an earlier boot", [&] {
         return sleeper_record([&](pid_t, std::string line) {
           return other_boot + line.substr(other_boot.size());
         });
       }, ""},
      {"garbage", [] {
         return sleeper_record([](pid_t, std::string line) { return line + "more\n"; });
       }, "not a record; removed"},
      {"another group's name", [] {
         const pid_t pid = sleeper_group();
         std::ofstream(folder() + "/" + std::to_string(pid + 1))
             << record_line(false, pid, start_of(pid), ::getsid(0), boot_id());
         return bystanders({pid});
       }, "not the record of its name; removed"},
      {"a symbolic link", [] {
         const pid_t pid = sleeper_group();
         const std::string target = Path::board("/elsewhere");
         std::ofstream(target) << record_line(false, pid, start_of(pid), ::getsid(0), boot_id());
         EXPECT_EQ(::symlink(target.c_str(), (folder() + "/" + std::to_string(pid)).c_str()), 0);
         return Scene{{}, {pid}, {}, {target}};
       }, "a symbolic link; removed"},
      {"a hard link", [] {
         Scene s = sleeper_record([](pid_t, std::string line) { return line; });
         const std::string name = folder() + "/" + std::to_string(s.bystanders[0]);
         s.outside = {Path::board("/other-link")};
         EXPECT_EQ(::link(name.c_str(), s.outside[0].c_str()), 0);
         return s;
       }, "a file with other links; removed"},
      {"a FIFO", [] {
         const pid_t pid = sleeper_group();
         EXPECT_EQ(::mkfifo((folder() + "/" + std::to_string(pid)).c_str(), 0644), 0);
         return bystanders({pid});
       }, "not a regular file; removed"},
      {"var/run a link out of the root: nothing recorded", [] {
         const std::string run = Path::board("/var/run");
         const std::string outside = Path::root() + "-outside";
         EXPECT_EQ(std::system(("rm -r " + run + "; mkdir " + outside).c_str()), 0);
         EXPECT_EQ(::symlink(outside.c_str(), run.c_str()), 0);
         Scene s = bystanders(killed_daemon("sleep 1000 & echo $! > $PIDS; wait", 1).victims);
         s.outside = {outside};
         return s;
       }, "leads out of the root"},
      {"leader ended, a member of another session", [] {
         return leader_ended(true);
       }, ""},
      // The recorded group ended and a later group took its id, in the same session (0 for
      // every process when the test runs in a pid namespace of its own).
      {"id of an ended group taken by a later one", [] {
         return leader_ended(false);
       }, "no member carries the mark of the recorded group; left alone"},
      {"a folder at the name", [] {
         Scene s = bystanders({sleeper_group()});
         const std::string at = folder() + "/" + std::to_string(s.bystanders[0]);
         s.outside = {Path::board("/elsewhere")};
         std::ofstream(s.outside[0]) << "not the daemon's\n";
         EXPECT_EQ(std::system(("mkdir -p " + at + "/in && touch " + at + "/in/f && ln -s " +
                                s.outside[0] + " " + at + "/in/link && ln -s " +
                                Path::root() + " " + at + "/root").c_str()), 0);
         return s;
       }, "a folder; removed"},
      {"a folder at the name when the group is recorded", [] {
         return recorded_past("mkdir -p $AT/in");
       }, "left running by an earlier daemon, killed"},
      {"a record of another root", [] {
         return sleeper_record([](pid_t pid, std::string) {
           return record_line(false, pid, start_of(pid), ::getsid(0), boot_id(),
                              folder_id(Path::board("/var")));
         });
       }, "of another root; removed"},
      {"a folder too deep at the name when the group is recorded", [] {
         Scene s = recorded_past("mkdir -p $AT/a/a/a/a/a/a/a/a/a");
         s.kept = {std::to_string(s.victims[0])};
         return s;
       }, "a folder; not removed: more than 8 folders deep at ",
          "left running by an earlier daemon, killed"},
      // Without a pid descriptor, a member is killed all the same once proven.
      {"no descriptor free", [] {
         return pidfd_refused(EMFILE, killed_daemon("sleep 1000 & echo $$ $! > $PIDS; wait", 2));
       }, "left running by an earlier daemon, killed"},
      {"a kernel without pid descriptors", [] {
         return pidfd_refused(ENOSYS, killed_daemon("sleep 1000 & echo $! > $PIDS", 1));
       }, "left running by an earlier daemon, killed"},
  });
}

// Makes each case's scene in a root of its own, runs a start on it and checks what it left.
void run_starts(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempRoot root;
    ASSERT_EQ(::mkdir((root.path() + "/var").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root.path() + "/var/run").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder().c_str(), 0755), 0);
    const Scene scene = c.make();
    ASSERT_FALSE(scene.victims.empty() && scene.bystanders.empty());
    EXPECT_EQ(alive_of(scene.victims), scene.victims) << "left running by the killed daemon";

    const std::string out = root.path() + "/start.out";
    const pid_t next = in_child([&] {
      const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 2);
      if (scene.in_start && !scene.in_start()) ::_exit(1);
      ChildGroups::start();
    });
    int status = -1;
    EXPECT_TRUE(wait_until([&] { return ::waitpid(next, &status, WNOHANG) == next; }, 5000))
        << "the start waits for nothing but the groups it killed";
    if (status == -1) {
      ::kill(next, SIGKILL);
      ::waitpid(next, nullptr, 0);
    }

    EXPECT_EQ(alive_of(scene.victims), std::vector<pid_t>{}) << "ended before the start goes on";
    EXPECT_EQ(alive_of(scene.bystanders), scene.bystanders);
    const std::string output = read_file(out);
    if (*c.line) {
      EXPECT_NE(output.find(c.line), std::string::npos) << output;
      EXPECT_NE(output.find(c.also), std::string::npos) << output;
      EXPECT_EQ(split_lines(output).size(), *c.also ? 2u : 1u) << output;
    } else {
      EXPECT_EQ(output, "");
    }
    EXPECT_EQ(names_in(folder()), scene.kept);
    for (const std::string& path : scene.outside) {
      EXPECT_EQ(::access(path.c_str(), F_OK), 0) << path << " is not the daemon's to remove";
    }
    for (const std::string& path : scene.mounts) ::umount2(path.c_str(), MNT_DETACH);
    std::system(("rm -rf " + root.path() + "-outside").c_str());
    if (scene.unreaped) ::waitpid(scene.unreaped, nullptr, 0);
    for (pid_t pid : scene.victims) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    for (pid_t pid : scene.bystanders) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
}

// Makes the start's process the user nobody, who may not read every file.
bool become_nobody() { return ::setgid(65534) == 0 && ::setuid(65534) == 0; }

// A group whose record's name has, at `below` under it, a mount that stays: a tmpfs, or a folder
// beside the root (on the same file system) whose file f stays too. It is mounted after the
// start of a daemon that then records the group when `recorded`.
Scene mounted(const std::string& below, bool recorded, bool tmpfs = false) {
  const std::string outside = Path::root() + "-outside";
  const std::string mount = "mkdir -p " + outside + " $AT" + below + " && touch " + outside +
                            "/f && mount " + (tmpfs ? "-t tmpfs tmpfs" : "--bind " + outside) +
                            " $AT" + below;
  Scene s = recorded ? recorded_past(mount) : bystanders({sleeper_group()});
  const pid_t pgid = recorded ? s.victims[0] : s.bystanders[0];
  if (!recorded) at_name(pgid, mount);
  s.kept = {std::to_string(pgid)};
  s.mounts = {folder() + "/" + s.kept[0] + below};
  s.outside = {outside + "/f"};
  return s;
}

// What lies below a mount at a record's name is not the daemon's, nor a record it cannot read;
// the start says so. Mounts are made in a mount namespace of the test's own.
TEST(ChildGroupsTest, StartLeavesWhatLiesBelowAMountAndNamesWhatItCannotRead) {
  // The root of a user namespace may have no other user to be.
  int status = -1;
  ::waitpid(in_child([] { ::_exit(become_nobody() ? 0 : 1); }), &status, 0);
  if (::geteuid() != 0 || status != 0) GTEST_SKIP() << "mounts and another user need root";
  if (::unshare(CLONE_NEWNS) != 0) {
    GTEST_SKIP() << "no mount namespace of its own: " << std::strerror(errno);
  }
  // Nothing mounted here reaches the machine's namespace.
  ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0)
      << std::strerror(errno);
  run_starts({
      {"a bind mount at a record's name", [] { return mounted("", false); },
       "a folder; not removed: a mount point"},
      {"a bind mount inside a folder at a record's name", [] { return mounted("/in", false); },
       "a folder; not removed: a mount point at "},
      {"a tmpfs at the name when the group is recorded", [] { return mounted("", true, true); },
       "a folder; not removed: a mount point", "left running by an earlier daemon, killed"},
      {"a bind mount at the name when the group is recorded", [] { return mounted("", true); },
       "a folder; not removed: a mount point", "left running by an earlier daemon, killed"},
      {"a record its owner may not read", [] {
         Scene s = sleeper_record([](pid_t, std::string line) { return line; });
         at_name(s.bystanders[0], "chmod 755 " + Path::root() + " && chown 65534:65534 " +
                                      folder() + " $AT && chmod 0 $AT");
         s.in_start = become_nobody;
         return s;
       }, "cannot be read: Permission denied; removed"},
  });
}

}  // namespace
