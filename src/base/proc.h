// Child processes: Java installers run to completion with their output in a
// log file, and the game, whose output is read through a pipe while it runs
// and whose exit code is collected later. Standard input is always the null
// device; standard output and error share one destination.
//
// Any thread: the table of pending children has a lock of its own; each child
// is waited for by one thread. A child is signalled only while it is in the
// table, under that lock, and leaves it only when collected: its id (and its
// group's) cannot have passed to another process by then.
#pragma once

#include "base/strings.h"

#include <string>

// The Windows command line that the Microsoft runtime (and CommandLineToArgvW)
// splits back into exactly these arguments. Used by the Windows runner only.
std::string build_command_line(const StrList &args);

// Starts argv (a program without a folder is looked up in PATH) in workdir
// (empty: ours) with standard output and error on out_fd (-1: discarded).
// wait: returns the exit code. Otherwise stores the id in *pid and returns 0.
// -1 when the process could not be started. A child ended by a signal
// reports 128 + the signal number.
int proc_spawn(const StrList &argv, const std::string &workdir, int out_fd, bool wait, int *pid);
// Runs argv to completion with its output in log_path (created or truncated);
// without a log path, or when it cannot be created, the output is discarded.
int proc_run_logged(const StrList &argv, const std::string &workdir, const std::string &log_path);
// Starts argv without waiting, as the leader of a process group of its own
// (so that it can be stopped with everything it starts); *read_fd receives
// everything it writes to standard output and error, and reaches end of file
// when it and every process that inherited the pipe have exited. keep_fd
// (-1: none) is the one other descriptor the child gets, as its 3: a lock
// that lasts as long as the child runs.
int proc_start_piped(const StrList &argv, const std::string &workdir, int *pid, int *read_fd,
                     int keep_fd = -1);
// Waits for a child started without waiting; its exit code, or -1. The child
// of a stop (below) takes what is left of its group along when it ends.
int proc_wait(int pid);

// Sends sig to the process group of a child of proc_start_piped that has not
// been waited for yet, and marks it as stopped. 0, or -1 when pid is not
// such a child (or already collected, or beyond the table of 32).
int proc_signal_group(int pid, int sig);
// Stops such a child: SIGTERM to its group, then SIGKILL to whatever of it
// remains when the child has not been collected within grace_ms. Blocks
// until one of the two (call it from a thread that does not wait for the
// child). 0, or -1 as for proc_signal_group.
int proc_stop_group(int pid, int grace_ms);

// True when no process of that id exists (any longer). Files and folders
// named after a process id are leftovers once it is gone.
bool proc_gone(int pid);
