#include "base/EndWithParent.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

bool EndWithParent(int signal, pid_t parent)
{
#ifdef __linux__
    // The kernel sends the signal when the thread that started this process
    // ends, which for a program is its end, however it ends.
    ::prctl(PR_SET_PDEATHSIG, signal);
#else
    (void)signal;
#endif
    return parent == 0 || ::getppid() == parent;
}
