#pragma once

// Reads a page for its media candidates in a child process of its own: the
// HTML parser has no time bound of its own, and a hostile page (a million
// nested tags) would otherwise hold up every other request for minutes.
// The child is this same program started with --find-candidates; it reads
// the page's address (one line) and then the page from its standard input,
// so that no link shows in the process list and no length of link keeps the
// child from starting.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QUrl>

class TPageParse : public QObject
{
    Q_OBJECT

public:
    explicit TPageParse(QObject* parent = nullptr);
    ~TPageParse() override;

    void Start(const QByteArray& html, const QUrl& pageUrl);
    // Kills the child; Finished is not emitted afterwards.
    void Abort();

    // The child's side: reads the page's address and the page from standard
    // input, writes one candidate link a line to standard output. Returns
    // the exit code.
    static int RunCandidateFinder(qint64 maxPageBytes);

    static QString FinderOption() { return QStringLiteral("find-candidates"); }
    static constexpr int MaxCandidateLines = 256;

signals:
    void Finished(bool ok, const QList<QUrl>& candidates, const QString& failure);

private:
    void ChildFinished(int exitCode, QProcess::ExitStatus status);
    void ChildFailed(QProcess::ProcessError error);
    void Report(bool ok, const QList<QUrl>& candidates, const QString& failure);

    QProcess m_child;
    bool m_running = false;
};
