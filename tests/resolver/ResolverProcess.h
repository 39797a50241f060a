#pragma once

// Starts the quorvex-resolver program for a test and reads the port it took.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <sys/resource.h>

#include "base/ResolverProtocol.h"

// The resolver under test, started with the given arguments (--listen
// 127.0.0.1:0 among them), killed when the object goes.
class TResolverProcess
{
public:
    ~TResolverProcess() { Stop(); }

    // The environment it starts with (the test's own by default).
    void SetEnvironment(const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
    }

    // Starts it allowed at most LIMIT open files (soft and hard).
    void SetOpenFileLimit(rlim_t limit)
    {
        m_process.setChildProcessModifier([limit] {
            const rlimit files{limit, limit};
            setrlimit(RLIMIT_NOFILE, &files);
        });
    }

    bool Start(const QStringList& arguments)
    {
        m_process.setProgram(QStringLiteral(QUORVEX_RESOLVER_PATH));
        m_process.setArguments(arguments);
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { m_log += m_process.readAllStandardError(); });
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QDeadlineTimer deadline(10000);
        while (!m_process.canReadLine() && !deadline.hasExpired() &&
               m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        m_port = static_cast<quint16>(ReadPortLine(m_process.readLine().toStdString()));
        return m_port != 0;
    }

    void Stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    quint16 Port() const { return m_port; }
    QByteArray Base() const { return "http://127.0.0.1:" + QByteArray::number(m_port); }
    QByteArray Log() const { return m_log; }
    bool Running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_log;
};
