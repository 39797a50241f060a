// A child that must not outlive the process that started it (a tool whose
// program was killed, a parser whose service went down) asks the kernel for
// a signal when that process ends.
#pragma once

#include <sys/types.h>

// Asks for SIGNAL when the parent ends (on Linux; elsewhere nothing). With
// PARENT, the process id the caller was started by: false when the parent
// has already gone, before the request took effect. Safe between fork and
// exec: only system calls.
bool EndWithParent(int signal, pid_t parent = 0);
