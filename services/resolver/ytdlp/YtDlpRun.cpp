#include "services/resolver/ytdlp/YtDlpRun.h"

#include "services/resolver/ytdlp/YtDlpFormats.h"
#include "services/resolver/ytdlp/YtDlpSlots.h"
#include "services/resolver/ytdlp/YtDlpSpare.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <sys/prctl.h>
#include <unistd.h>
#include <csignal>

namespace {

// The JSON of one video is a few hundred kilobytes, of a long playlist a few
// megabytes; more than this is not worth reading.
constexpr qsizetype MaxOutputBytes = 64 * 1024 * 1024;
// Enough of the log to find the claim and the last error.
constexpr qsizetype MaxErrorLineBytes = 64 * 1024;

// yt-dlp's log line when an extractor starts on a link.
const QRegularExpression& ClaimLine()
{
    static const QRegularExpression line(QStringLiteral(R"(^\[([^\]\s]+)\] Extracting URL: )"));
    return line;
}

QString FailureOf(const QByteArray& lastError, const QString& otherwise)
{
    QString text = QString::fromUtf8(lastError).trimmed();
    if (text.isEmpty())
        return otherwise;
    text.remove(QRegularExpression(QStringLiteral("^ERROR: ")));
    return text.left(300);
}

}  // namespace

TYtDlpRun::TYtDlpRun(QObject* parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        Kill();
        Finish({TYtDlpOutcome::TStatus::Failed,
                {},
                QStringLiteral("yt-dlp gave no answer within the time allowed")});
    });
}

TYtDlpRun::~TYtDlpRun()
{
    Cancel();
}

QString TYtDlpRun::FindProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("yt-dlp"));
}

QStringList TYtDlpRun::Arguments(int socketTimeoutMs)
{
    return {
        QStringLiteral("--ignore-config"),
        QStringLiteral("--dump-single-json"),
        QStringLiteral("--no-playlist"),
        // Metadata only: the formats are chosen here, and a page whose
        // formats yt-dlp's own choice rejects still lists them.
        QStringLiteral("--ignore-no-formats-error"),
        // The log goes to standard error; its "Extracting URL" line tells
        // early which extractor took the link.
        QStringLiteral("--verbose"),
        // Nothing is downloaded or merged, so yt-dlp need not look for
        // ffmpeg (which costs it a few tenths of a second per run).
        QStringLiteral("--ffmpeg-location"),
        QStringLiteral("/nonexistent/quorvex-no-ffmpeg"),
        QStringLiteral("--user-agent"),
        QString::fromLatin1(YtDlpUserAgent()),
        QStringLiteral("--socket-timeout"),
        QString::number(qMax(1, socketTimeoutMs / 1000)),
        // The link comes on standard input: it never shows in a process
        // list, and a process can be started before the link is known.
        QStringLiteral("--batch-file"),
        QStringLiteral("-"),
    };
}

void TYtDlpRun::Start(const QByteArray& link, int socketTimeoutMs, int timeoutMs)
{
    // One line of yt-dlp's batch input: the link in its encoded form, which
    // holds no blank or line break.
    m_link = QUrl::fromEncoded(link, QUrl::TolerantMode).toEncoded();
    m_socketTimeoutMs = socketTimeoutMs;
    m_deadline.start(timeoutMs);
    TYtDlpSlots::Instance().Acquire(this, [this] { Launch(); });
}

void TYtDlpRun::Cancel()
{
    const bool wasRunning = Running();
    m_done = true;
    m_deadline.stop();
    Kill();
    if (wasRunning)
        PrepareNext(m_socketTimeoutMs);
}

void TYtDlpRun::Launch()
{
    if (m_done) {
        TYtDlpSlots::Instance().Release(this);
        return;
    }
    m_started = true;
    const QString program = FindProgram();
    if (program.isEmpty()) {
        // Reported from the event loop, never from inside Start.
        QMetaObject::invokeMethod(
            this,
            [this] {
                Finish({TYtDlpOutcome::TStatus::Unavailable,
                        {},
                        QStringLiteral("yt-dlp is not on PATH")});
            },
            Qt::QueuedConnection);
        return;
    }
    const QStringList arguments = Arguments(m_socketTimeoutMs);
    m_process = TYtDlpSpare::Take(program, arguments);
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &TYtDlpRun::ReadOutput);
    connect(m_process.get(), &QProcess::readyReadStandardError, this, &TYtDlpRun::ReadErrors);
    connect(m_process.get(), &QProcess::finished, this, &TYtDlpRun::ProcessEnded);
    connect(m_process.get(), &QProcess::errorOccurred, this, &TYtDlpRun::ProcessFailed);
    m_process->write(m_link + '\n');
    m_process->closeWriteChannel();
    if (m_process->state() == QProcess::NotRunning) {
        // Failed before it could be connected to; reported from the event loop.
        QMetaObject::invokeMethod(
            this, [this] { ProcessFailed(QProcess::FailedToStart); }, Qt::QueuedConnection);
    }
}

void TYtDlpRun::PrepareNext(int socketTimeoutMs)
{
    const QString program = FindProgram();
    if (!program.isEmpty())
        TYtDlpSpare::Prepare(program, Arguments(socketTimeoutMs));
}

void TYtDlpRun::ReadOutput()
{
    m_output += m_process->readAllStandardOutput();
    if (m_output.size() > MaxOutputBytes) {
        Kill();
        Finish({TYtDlpOutcome::TStatus::Failed,
                {},
                QStringLiteral("yt-dlp printed more than %1 bytes").arg(MaxOutputBytes)});
    }
}

void TYtDlpRun::ReadErrors()
{
    m_errors += m_process->readAllStandardError();
    qsizetype end;
    while ((end = m_errors.indexOf('\n')) >= 0) {
        const QByteArray line = m_errors.left(end).trimmed();
        m_errors.remove(0, end + 1);
        if (line.startsWith("ERROR:"))
            m_lastError = line;
        if (!m_claimed) {
            const QRegularExpressionMatch match = ClaimLine().match(QString::fromUtf8(line));
            if (match.hasMatch()) {
                m_claimed = true;
                emit Claimed(match.captured(1));
            }
        }
    }
    if (m_errors.size() > MaxErrorLineBytes)
        m_errors.clear();  // one endless line: nothing to learn from it
}

void TYtDlpRun::ProcessEnded(int exitCode, QProcess::ExitStatus status)
{
    if (m_done)
        return;
    ReadOutput();
    ReadErrors();
    if (m_done)
        return;
    if (status != QProcess::NormalExit) {
        Finish({TYtDlpOutcome::TStatus::Failed, {}, QStringLiteral("yt-dlp crashed")});
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(m_output, &error);
    if (exitCode != 0 || !document.isObject()) {
        const QString otherwise =
            exitCode != 0 ? QStringLiteral("yt-dlp exited with %1").arg(exitCode)
                          : QStringLiteral("yt-dlp printed no JSON (%1)").arg(error.errorString());
        Finish({TYtDlpOutcome::TStatus::Failed, {}, FailureOf(m_lastError, otherwise)});
        return;
    }
    Finish({TYtDlpOutcome::TStatus::Done, document.object(), {}});
}

void TYtDlpRun::ProcessFailed(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || m_done)
        return;
    Finish({TYtDlpOutcome::TStatus::Unavailable,
            {},
            QStringLiteral("yt-dlp (%1) cannot be started: %2")
                .arg(m_process->program(), m_process->errorString())});
}

void TYtDlpRun::Finish(const TYtDlpOutcome& outcome)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    TYtDlpSlots::Instance().Release(this);
    // The next run's process starts once this one is over, not beside it:
    // on a busy machine it would take CPU time from this run.
    if (outcome.Status != TYtDlpOutcome::TStatus::Unavailable)
        PrepareNext(m_socketTimeoutMs);
    emit Finished(outcome);
}

void TYtDlpRun::Kill()
{
    TYtDlpSlots::Instance().Release(this);
    if (!m_process)
        return;
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning) {
        const qint64 pid = m_process->processId();
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
    m_process.reset();
}
