// ChildGroups: the records of the process groups that the daemon's programs lead, so that a
// daemon that ended without its clean-up (SIGKILL, a crash, a signal left at its default
// action) has what it left running ended by the next start.
//
// A group is recorded when it is made (spawn with own_group) and its record removed when the
// group has ended: found with no member the daemon can prove its own (below), or killed with
// SIGKILL while its leader, unreaped, held the id. A record is the file
// "/var/run/server-groups/" PGID under the path root, or PGID.N (N up to 8) when something that
// may not be removed lies at PGID, one line of fields separated by blanks:
//
//   BOOT-ID DAEMON-PID DAEMON-START PGID LEADER-START SESSION FOLDER-DEVICE FOLDER-INODE MARK
//
// the kernel's boot id, the pid and start time (clock ticks after the boot) of the daemon that
// made the group, the group's id (its leader's pid), the leader's start time, the session the
// group lives in (0 when the session's leader lies outside the daemon's pid namespace, as the
// kernel gives it), the device and inode of the folder the record was written in, and the
// group's mark in hex. Writing one is a create and one small write, nothing that waits.
//
// The mark is a random number drawn for each program started: the program gets it in its
// environment as kMarkName=MARK, and whatever it starts inherits it. /proc/PID/environ shows a
// process's environment as it was started, so a program that changes its own environment keeps
// the mark there; one that starts a program with an environment of its own making (pppd's
// scripts) leaves that program unmarked. A process of a later group cannot carry the mark: it
// would have to descend from the marked program.
//
// start() opens the folder, once, before the daemon takes its first command; until then the
// records are neither written nor removed (tests and tools that spawn groups leave no files),
// but the daemon keeps what proves each group's members all the same.
// A var/run that leads out of the root, or a folder that is a link or not the daemon's, is
// refused with one line, and nothing is recorded.
// It reads every record, and ends the group it names when that group is still alive and the
// daemon that made it is not: SIGKILL to each member proven (below), again at each look until
// none is left, for up to kEndWaitMs, so that the channels and modems they held are free before
// the first command. A pid is taken again only after the process and every group and session
// named by it have ended, so the record names its group only while:
//   - the boot id is this boot's and the folder is the one the record was written in (a record
//     copied from another root names that root's folder);
//   - the process with the leader's pid, if any, has the recorded start time (otherwise the pid
//     was taken again and the group ended long ago); a leader still there proves every member
//     of its group;
//   - with no leader left, a member found has the group's id, its session, started no earlier
//     than the leader and carries the group's mark. Members of that id and session that carry
//     no mark may be a later group under the same id (the recorded one ended, and its leader's
//     pid was taken for a new group): they are left alone, with one line.
// The running daemon proves the members of a group whose leader it has reaped in the same way
// (signal()), and each member is signalled through a pid descriptor opened before its proof, so
// that a pid taken again meanwhile is not reached.
// Anything else at a record's name (a link, a FIFO, a folder, a file with other links or of
// another owner, a file it cannot read, a line that does not parse, a name that is not the
// group's) is never taken for a record: it is removed (a folder with all it holds, links not
// followed, no mount point entered: what lies below one is not the daemon's), with one line,
// and nothing is signalled.
#pragma once

#include <cstddef>
#include <string>

namespace ChildGroups {

// The environment variable that carries a program's mark.
constexpr const char* kMarkName = "ORVEXD_GROUP";

// The longest wait at start for the members of the groups killed to end.
constexpr unsigned kEndWaitMs = 2000;

// Opens the folder of the records (created when missing) and ends the groups that a daemon no
// longer running left alive. Once, at the start.
void start();
// A new mark: 32 hex digits, random.
std::string new_mark();
// Records the group that the child `pgid` now leads, its program marked with `mark`.
void record(int pgid, const std::string& mark);
// The group `pgid` has ended, or was killed with SIGKILL: its record goes.
void ended(int pgid);
// Sends `signal` (none when 0) to each live member of the group `pgid` proven its own, and
// returns how many were proven. None: the group has ended as far as the daemon may tell, and
// its record goes, with one line when processes of the id are left alone unproven. A group whose
// record has gone (one sent SIGKILL as a whole) has none, whatever still has its id.
size_t signal(int pgid, int signal);

}  // namespace ChildGroups
