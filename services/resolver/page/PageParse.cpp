#include "services/resolver/page/PageParse.h"

#include "services/resolver/net/MediaTypes.h"
#include "services/resolver/page/PageCandidates.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <csignal>

#include <cstdio>

#include "base/EndWithParent.h"

namespace {

// Bounds for the child, should a page still get the parser to run away.
constexpr rlim_t ChildMemoryBytes = rlim_t(1) << 30;
constexpr rlim_t ChildCpuSeconds = 60;

}  // namespace

TPageParse::TPageParse(QObject* parent) : QObject(parent)
{
    m_child.setProcessChannelMode(QProcess::SeparateChannels);
    m_child.setStandardErrorFile(QProcess::nullDevice());
    m_child.setChildProcessModifier([] {
        // Should the service itself be killed, its parser goes with it.
        EndWithParent(SIGKILL);
        const rlimit memory{ChildMemoryBytes, ChildMemoryBytes};
        setrlimit(RLIMIT_AS, &memory);
        const rlimit cpu{ChildCpuSeconds, ChildCpuSeconds};
        setrlimit(RLIMIT_CPU, &cpu);
    });
    connect(&m_child, &QProcess::finished, this, &TPageParse::ChildFinished);
    connect(&m_child, &QProcess::errorOccurred, this, &TPageParse::ChildFailed);
}

TPageParse::~TPageParse()
{
    Abort();
}

void TPageParse::Start(const QByteArray& html, const QUrl& pageUrl)
{
    m_running = true;
    m_child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--") + FinderOption()});
    // Buffered by QProcess and written as the child reads. An encoded URL
    // holds no line break.
    m_child.write(pageUrl.toEncoded() + '\n');
    m_child.write(html);
    m_child.closeWriteChannel();
}

void TPageParse::Abort()
{
    m_running = false;
    if (m_child.state() != QProcess::NotRunning) {
        m_child.kill();
        m_child.waitForFinished(5000);
    }
}

void TPageParse::ChildFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_running)
        return;
    if (status != QProcess::NormalExit || exitCode != 0) {
        Report(false, {}, QStringLiteral("the page could not be read (parser ended abnormally)"));
        return;
    }
    QList<QUrl> candidates;
    for (const QByteArray& line : m_child.readAllStandardOutput().split('\n')) {
        const QUrl url = QUrl::fromEncoded(line.trimmed(), QUrl::StrictMode);
        if (IsFetchableUrl(url))
            candidates.append(url);
    }
    Report(true, candidates, QString());
}

void TPageParse::ChildFailed(QProcess::ProcessError error)
{
    if (!m_running || error != QProcess::FailedToStart)
        return;
    Report(false, {}, QStringLiteral("cannot start the page parser: ") + m_child.errorString());
}

void TPageParse::Report(bool ok, const QList<QUrl>& candidates, const QString& failure)
{
    m_running = false;
    emit Finished(ok, candidates, failure);
}

int TPageParse::RunCandidateFinder(qint64 maxPageBytes)
{
    // The address line is bounded like the page: both came through the
    // service's own size limits before.
    const qint64 maxInputBytes = 2 * maxPageBytes;
    QByteArray input;
    char buffer[65536];
    while (input.size() < maxInputBytes) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
        if (n == 0)
            break;
        input.append(buffer, static_cast<qsizetype>(n));
    }
    const qsizetype lineEnd = input.indexOf('\n');
    if (lineEnd < 0)
        return 1;
    const QUrl pageUrl = QUrl::fromEncoded(input.left(lineEnd), QUrl::StrictMode);
    QByteArray html = input.mid(lineEnd + 1);
    if (html.size() > maxPageBytes)
        html.truncate(maxPageBytes);
    const std::vector<QUrl> candidates = FindMediaCandidates(html, pageUrl);
    int written = 0;
    for (const QUrl& url : candidates) {
        if (written++ == MaxCandidateLines)
            break;
        const QByteArray line = url.toEncoded() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
