#pragma once

// One run of yt-dlp on one link: the first `yt-dlp` on PATH (so a newer one
// the user installed, say with pipx, wins over the system's), started
// without a shell, asked for the link's metadata as one JSON document. It
// never downloads anything. The run waits for a slot (TYtDlpSlots), is
// killed with everything it started when cancelled or destroyed, and tells
// early which extractor took the link.

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <memory>

struct TYtDlpOutcome
{
    enum class TStatus
    {
        Done,        // Info holds the result
        Failed,      // yt-dlp ran and found nothing (Failure says why)
        Unavailable  // yt-dlp is not there or cannot be started
    };
    TStatus Status = TStatus::Failed;
    QJsonObject Info;
    QString Failure;
};

class TYtDlpRun : public QObject
{
    Q_OBJECT

public:
    explicit TYtDlpRun(QObject* parent = nullptr);
    ~TYtDlpRun() override;

    // The program a run starts, or empty when PATH holds none.
    static QString FindProgram();
    // The arguments of every run; the link follows on standard input.
    static QStringList Arguments(int socketTimeoutMs);

    // Has a process started ahead for the next run (see TYtDlpSpare).
    static void PrepareNext(int socketTimeoutMs);

    // Starts (once a slot is free) on LINK; gives up after TIMEOUTMS in all,
    // waiting included.
    void Start(const QByteArray& link, int socketTimeoutMs, int timeoutMs);
    // Kills the run; Finished is not emitted afterwards.
    void Cancel();
    bool Running() const { return m_started && !m_done; }

signals:
    // The extractor yt-dlp handed the link to ("generic", "youtube", ...),
    // as soon as it says so; at most once.
    void Claimed(const QString& extractor);
    // Exactly once unless cancelled.
    void Finished(const TYtDlpOutcome& outcome);

private:
    void Launch();
    void ReadErrors();
    void ReadOutput();
    void ProcessEnded(int exitCode, QProcess::ExitStatus status);
    void ProcessFailed(QProcess::ProcessError error);
    void Finish(const TYtDlpOutcome& outcome);
    void Kill();

    QByteArray m_link;
    int m_socketTimeoutMs = 15000;
    QTimer m_deadline;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    QByteArray m_errors;
    QByteArray m_lastError;
    bool m_claimed = false;
    bool m_started = false;
    bool m_done = false;
};
