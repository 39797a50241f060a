#include "common/ChildProcessUnit.h"

#include <QProcess>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <unistd.h>
#include <csignal>
#endif

void EndWithThisProgram(QProcess& process)
{
#ifdef Q_OS_LINUX
    // The kernel sends SIGTERM to the child when the thread that started it
    // ends, which for a program is its end, however it ends. A program that
    // died between fork and prctl is caught by the parent check.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
    });
#else
    (void)process;
#endif
}
