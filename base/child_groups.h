// ChildGroups: the records of the process groups that the daemon's programs lead, so that a
// daemon that ended without its clean-up (SIGKILL, a crash, a signal left at its default
// action) has what it left running ended by the next start.
//
// A group is recorded when it is made (spawn with own_group) and its record removed when the
// group has ended: found empty, or killed with SIGKILL, which no member survives. A record is
// the file "/var/run/server-groups/" PGID under the path root, one line of fields separated by
// blanks:
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
// records are neither written nor removed (tests and tools that spawn groups leave no files).
// A var/run that leads out of the root, or a folder that is a link or not the daemon's, is
// refused with one line, and nothing is recorded.
// It reads every record, and ends the group it names when that group is still alive and the
// daemon that made it is not: SIGKILL to the group, then up to kEndWaitMs for its members to
// end, so that the channels and modems they held are free before the first command. A pid is
// taken again only after the process and every group and session named by it have ended, so
// the record names its group only while:
//   - the boot id is this boot's and the folder is the one the record was written in (a record
//     copied from another root names that root's folder);
//   - the process with the leader's pid, if any, has the recorded start time (otherwise the pid
//     was taken again and the group ended long ago); a leader still there proves every member
//     of its group;
//   - with no leader left, a member found has the group's id, its session, started no earlier
//     than the leader and carries the group's mark. Members of that id and session that carry
//     no mark may be a later group under the same id (the recorded one ended, and its leader's
//     pid was taken for a new group): they are left alone, with one line.
// Anything else at a record's name (a link, a FIFO, a folder, a file with other links or of
// another owner, a line that does not parse, a name that is not the group's id) is never taken
// for a record: it is removed (a folder with all it holds, links not followed, nothing on
// another file system), with one line, and nothing is signalled.
#pragma once

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

}  // namespace ChildGroups
