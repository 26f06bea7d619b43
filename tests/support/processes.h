// The processes of the machine as /proc shows them, for tests that must find the programs a
// daemon or a test started and left behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The pids of the processes whose parent is `parent` (zombies included).
std::vector<pid_t> children_of(pid_t parent);
// Whether `pid` is a live process: one that has ended and waits to be reaped is not.
bool alive(pid_t pid);
// Those of `pids` that are live processes.
std::vector<pid_t> alive_of(const std::vector<pid_t>& pids);
// The pids written in the file at `path`, separated by white space (none when it is missing).
std::vector<pid_t> pids_in(const std::string& path);
// The pids of the running processes whose first argument is `program`.
std::vector<pid_t> running(const std::string& program);
// Kills (SIGKILL) and reaps every child of this process but `keep`.
void reap_children(pid_t keep);
