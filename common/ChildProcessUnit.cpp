#include "common/ChildProcessUnit.h"

#include <QProcess>

#include <unistd.h>

#include <csignal>

#include "base/EndWithParent.h"

void EndWithThisProgram(QProcess& process)
{
#ifdef Q_OS_LINUX
    // The child gets SIGTERM when this program ends, however it ends. A
    // program that died between fork and the request is caught by the check.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        if (!EndWithParent(SIGTERM, parent))
            ::_exit(1);
    });
#else
    (void)process;
#endif
}
