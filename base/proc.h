// Processes as /proc shows them: the fields of a process's stat file, every pid, and finding a
// process by its command name.
#pragma once

#include <functional>
#include <string>

// The fields of /proc/PID/stat that the daemon reads.
struct ProcStat {
  int pid = 0;
  // The command name: the text between the first "(" and the last ")", which may itself hold
  // parentheses and blanks.
  std::string name;
  // 'Z' for a process that has ended and waits to be reaped.
  char state = '?';
  int parent = 0;
  int group = 0;
  int session = 0;
  // The start time, in clock ticks after the boot: with the pid, it names one process of a
  // boot, since a pid is taken again only by a later process.
  unsigned long long start = 0;
};

// Reads /proc/`pid`/stat into `stat`; false when `pid` names no process (or it cannot be read).
bool read_proc_stat(int pid, ProcStat& stat);

// Whether the environment that `pid` was started with (/proc/`pid`/environ) holds the entry
// `entry` ("NAME=value"); false also when it cannot be read (another owner's process).
bool proc_environ_holds(int pid, const std::string& entry);

// Calls `visit` with the pid of every process in /proc.
void each_proc(const std::function<void(int)>& visit);

// The pid of a process whose command name equals `name`, or -1. The pid `hint` is tried first;
// only when it does not carry that name is the whole of /proc scanned.
int find_proc_by_name(const char* name, int hint);
