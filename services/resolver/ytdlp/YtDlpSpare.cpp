#include "services/resolver/ytdlp/YtDlpSpare.h"

#include <QCoreApplication>
#include <QPointer>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

#include "base/EndWithParent.h"

namespace {

// Far above what yt-dlp needs for any page, far below what takes a desktop
// down: a page built to be huge ends the run, not the machine.
constexpr rlim_t MaxAddressSpaceBytes = rlim_t(2) * 1024 * 1024 * 1024;

struct TWaiting
{
    QPointer<QProcess> Process;  // owned by the application object
    QString Program;
    QStringList Arguments;
};

TWaiting& Waiting()
{
    static TWaiting waiting;
    return waiting;
}

bool Matches(const QString& program, const QStringList& arguments)
{
    const TWaiting& waiting = Waiting();
    return waiting.Process && waiting.Process->state() != QProcess::NotRunning &&
           waiting.Program == program && waiting.Arguments == arguments;
}

void Discard()
{
    if (QProcess* process = Waiting().Process) {
        process->kill();
        process->waitForFinished(1000);
        delete process;
    }
    Waiting() = {};
}

}  // namespace

std::unique_ptr<QProcess> StartYtDlpProcess(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(program);
    process->setArguments(arguments);
    process->setChildProcessModifier([] {
        ::setpgid(0, 0);
        EndWithParent(SIGKILL);
        const rlimit limit{MaxAddressSpaceBytes, MaxAddressSpaceBytes};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    process->start();
    return process;
}

std::unique_ptr<QProcess> TYtDlpSpare::Take(const QString& program, const QStringList& arguments)
{
    if (!Matches(program, arguments)) {
        Discard();
        return StartYtDlpProcess(program, arguments);
    }
    std::unique_ptr<QProcess> process(Waiting().Process.data());
    process->setParent(nullptr);
    Waiting() = {};
    return process;
}

void TYtDlpSpare::Prepare(const QString& program, const QStringList& arguments)
{
    if (Matches(program, arguments) || !QCoreApplication::instance())
        return;
    Discard();
    std::unique_ptr<QProcess> process = StartYtDlpProcess(program, arguments);
    process->setParent(QCoreApplication::instance());
    Waiting() = {process.release(), program, arguments};
}
