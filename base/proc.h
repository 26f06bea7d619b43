// Finding a process by its command name in /proc.
#pragma once

// The pid of a process whose command name (the text between the parentheses of
// /proc/PID/stat) equals `name`, or -1. The pid `hint` is tried first; only when it does not
// carry that name is the whole of /proc scanned.
int find_proc_by_name(const char* name, int hint);
