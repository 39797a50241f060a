#include "download/ResolverLauncher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>

#include "base/ResolverProtocol.h"
#include "common/ChildProcessUnit.h"

namespace {

// The address the build was configured with; empty: start our own.
std::string& FixedBase()
{
    static std::string base = QUORVEX_RESOLVER_URL;
    return base;
}

std::string& ExecutableOverride()
{
    static std::string path;
    return path;
}

std::string& StartFailure()
{
    static std::string failure;
    return failure;
}

// The service this program started; lives as long as the application object.
class TStartedResolver : public QObject
{
public:
    explicit TStartedResolver(QObject* parent) : QObject(parent)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        EndWithThisProgram(m_process);
    }

    ~TStartedResolver() override { Stop(); }

    bool Running() const { return m_process.state() == QProcess::Running && !m_base.empty(); }
    const std::string& Base() const { return m_base; }
    qint64 ProcessId() const { return Running() ? m_process.processId() : 0; }

    // Starts the service and waits for the port it took; false with WHY.
    bool Start(const QString& program, std::string* why)
    {
        Stop();
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
        m_process.start(QIODevice::ReadOnly);
        QDeadlineTimer deadline(ResolverStartTimeoutMs);
        if (!m_process.waitForStarted(ResolverStartTimeoutMs)) {
            *why = "the link resolver " + program.toStdString() +
                   " cannot be started: " + m_process.errorString().toStdString();
            return false;
        }
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               !deadline.hasExpired())
            m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        const unsigned port = ReadPortLine(m_process.readLine().toStdString());
        if (port == 0) {
            *why = m_process.state() == QProcess::Running
                       ? "the link resolver did not get ready in time"
                       : "the link resolver ended at its start";
            Stop();
            return false;
        }
        m_base = "http://127.0.0.1:" + std::to_string(port);
        return true;
    }

    void Stop()
    {
        m_base.clear();
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    std::string m_base;
};

QPointer<TStartedResolver>& Started()
{
    static QPointer<TStartedResolver> started;
    return started;
}

std::string StartOwnResolver()
{
    TStartedResolver* started = Started();
    if (started && started->Running())
        return started->Base();
    const std::string program = ResolverExecutable();
    std::string why;
    if (program.empty()) {
        StartFailure() = "the link resolver quorvex-resolver was not found beside the program";
        return {};
    }
    if (!started) {
        started = new TStartedResolver(QCoreApplication::instance());
        Started() = started;
    }
    if (!started->Start(QString::fromStdString(program), &why)) {
        StartFailure() = why;
        return {};
    }
    StartFailure().clear();
    return started->Base();
}

}  // namespace

std::string ResolverBaseAddress()
{
    if (!FixedBase().empty())
        return FixedBase();
    return StartOwnResolver();
}

void SetResolverBaseAddress(const std::string& base)
{
    FixedBase() = base.empty() ? std::string(QUORVEX_RESOLVER_URL) : base;
}

std::string ResolverStartFailure()
{
    return StartFailure();
}

std::string ResolverExecutable()
{
    if (!ExecutableOverride().empty())
        return ExecutableOverride();
    const QDir here(QCoreApplication::applicationDirPath());
    for (const char* place : {"quorvex-resolver", "../services/resolver/quorvex-resolver"}) {
        const QFileInfo candidate(here.filePath(QString::fromLatin1(place)));
        if (candidate.isFile() && candidate.isExecutable())
            return QDir::cleanPath(candidate.absoluteFilePath()).toStdString();
    }
    return {};
}

void SetResolverExecutable(const std::string& path)
{
    ExecutableOverride() = path;
}

std::int64_t StartedResolverProcessId()
{
    const TStartedResolver* started = Started();
    return started ? started->ProcessId() : 0;
}
