// The program's own resolver: started at the first download of a run (not
// before), reused by later ones, started again when it has died, never
// started when the build names a service, and gone when the program is.

#include "RawExchange.h"
#include "ResolverProcess.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"
#include "download/ResolverLauncher.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/types.h>
#include <csignal>

class TResolverLaunchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void FirstDownloadStartsItAndTheNextReusesIt();
    void DeadResolverIsStartedAgain();
    void ConfiguredAddressStartsNothing();
    void MissingResolverFailsLikeAnUnreachableService_data();
    void MissingResolverFailsLikeAnUnreachableService();
    void ResolverEndsWithTheProgram();
    void OwnResolverAnswersOnlyTheProgram_data();
    void OwnResolverAnswersOnlyTheProgram();

private:
    // Downloads the test page through the window; the saved files' names.
    QStringList DownloadPage(TWindowFixture& f);

    TTestHttpServer m_web;
    QTemporaryDir m_folder;
};

namespace {

constexpr qint64 MediaBytes = 200000;

// A process that is gone or only waits to be reaped.
bool ProcessGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) == "Z";
}

}  // namespace

void TResolverLaunchTest::initTestCase()
{
    if (!QByteArray(QUORVEX_RESOLVER_URL).isEmpty())
        QSKIP("this build names a resolver address, so the program starts none");
    m_web.AddRoute(QJsonObject{{"path", "/watch"},
                               {"contentType", "text/html"},
                               {"body", "<video src='clip.mp4'></video>"}});
    m_web.AddRoute(
        QJsonObject{{"path", "/clip.mp4"}, {"contentType", "video/mp4"}, {"bodySize", MediaBytes}});
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));
}

void TResolverLaunchTest::init()
{
    SetResolverExecutable(QUORVEX_RESOLVER_PATH);
}

void TResolverLaunchTest::cleanup()
{
    SetResolverBaseAddress({});
    for (const QString& name : FolderEntries(m_folder.path()))
        QFile::remove(m_folder.filePath(name));
}

QStringList TResolverLaunchTest::DownloadPage(TWindowFixture& f)
{
    f.Messages.clear();
    f.RunDownload(m_web.Url("/watch"), m_folder.path());
    return FolderEntries(m_folder.path());
}

void TResolverLaunchTest::FirstDownloadStartsItAndTheNextReusesIt()
{
    TWindowFixture f;
    QVERIFY(f.Exposed);
    QCOMPARE(StartedResolverProcessId(), 0);

    QCOMPARE(DownloadPage(f).size(), 1);
    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    const qint64 first = StartedResolverProcessId();
    QVERIFY(first > 0);

    QCOMPARE(DownloadPage(f).size(), 2);
    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    QCOMPARE(StartedResolverProcessId(), first);
}

void TResolverLaunchTest::DeadResolverIsStartedAgain()
{
    TWindowFixture f;
    QVERIFY(f.Exposed);
    QCOMPARE(DownloadPage(f).size(), 1);
    const qint64 first = StartedResolverProcessId();
    QVERIFY(first > 0);

    const std::string firstKey = ResolverKeyFor(ResolverBaseAddress());
    ::kill(static_cast<pid_t>(first), SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(StartedResolverProcessId(), 0, 10000);

    QCOMPARE(DownloadPage(f).size(), 2);
    // A secret of its own.
    QVERIFY(ResolverKeyFor(ResolverBaseAddress()) != firstKey);
    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    const qint64 second = StartedResolverProcessId();
    QVERIFY(second > 0);
    QVERIFY(second != first);
}

void TResolverLaunchTest::ConfiguredAddressStartsNothing()
{
    TResolverProcess shared;
    QVERIFY(shared.Start({"--listen", "127.0.0.1:0"}));
    SetResolverBaseAddress(shared.Base().toStdString());
    SetResolverExecutable("/nonexistent/quorvex-resolver");
    const qint64 before = StartedResolverProcessId();

    QCOMPARE(ResolverBaseAddress(), shared.Base().toStdString());
    TWindowFixture f;
    QVERIFY(f.Exposed);
    QCOMPARE(DownloadPage(f).size(), 1);
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    QCOMPARE(StartedResolverProcessId(), before);
    QVERIFY(shared.Log().contains("/watch"));
}

void TResolverLaunchTest::MissingResolverFailsLikeAnUnreachableService_data()
{
    // The stand-in written as the resolver; none: no file at all.
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("ends at once") << QByteArray("exit 3");
    QTest::newRow("no port") << QByteArray("echo listening; exec sleep 30");
    QTest::newRow("never ready") << QByteArray("exec sleep 30");
}

void TResolverLaunchTest::MissingResolverFailsLikeAnUnreachableService()
{
    QFETCH(QByteArray, script);
    QTemporaryDir scripts;
    const QString program = scripts.filePath(QStringLiteral("quorvex-resolver"));
    if (!script.isNull()) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script + "\n");
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
    }
    const qint64 running = StartedResolverProcessId();
    if (running > 0) {
        ::kill(static_cast<pid_t>(running), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(StartedResolverProcessId(), 0, 10000);
    }
    SetResolverExecutable(program.toStdString());
    TWindowFixture f;
    QVERIFY(f.Exposed);

    QVERIFY(DownloadPage(f).isEmpty());
    QCOMPARE(f.Messages.size(), size_t(2));
    QCOMPARE(f.Messages[0].Text, std::string(MsgInternetError));
    QCOMPARE(f.Messages[1].Text, std::string(MsgCannotCreate));
    QVERIFY(!ResolverStartFailure().empty());
    QVERIFY(f.Messages[1].Detail.find("Reason: the link resolver") != std::string::npos);
    QVERIFY(f.OkEnabled());
}

void TResolverLaunchTest::ResolverEndsWithTheProgram()
{
    QProcess program;
    program.start(QStringLiteral(QUORVEX_RESOLVER_PARENT_PATH), {QUORVEX_RESOLVER_PATH});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 10000);
    const qint64 resolver = program.readLine().trimmed().toLongLong();
    QVERIFY(resolver > 0);
    QVERIFY(!ProcessGone(resolver));

    program.kill();
    QVERIFY(program.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(ProcessGone(resolver), 10000);
}

void TResolverLaunchTest::OwnResolverAnswersOnlyTheProgram_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");

    const QByteArray ask = "/get-url/index/link/?link={page}";
    const QByteArray host = "Host: 127.0.0.1:{rport}\r\n";
    // A site's redirect to the service, opened from a mail or chat program.
    QTest::newRow("the user's navigation") << ask << host + ChromiumNavigationHeaders << 403;
    QTest::newRow("no secret") << ask << host << 403;
    QTest::newRow("a wrong secret") << ask << host + "X-Quorvex-Key: {wrong}\r\n" << 403;
    QTest::newRow("a stream link without the secret")
        << QByteArray("/get-url/stream/00000000000000000000000000000000.flv")
        << host + ChromiumNavigationHeaders << 403;
    QTest::newRow("the program's secret") << ask << host + "X-Quorvex-Key: {key}\r\n" << 200;
}

void TResolverLaunchTest::OwnResolverAnswersOnlyTheProgram()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, headers);
    QFETCH(int, status);

    const std::string base = ResolverBaseAddress();
    QVERIFY(!base.empty());
    const QByteArray key = QByteArray::fromStdString(ResolverKeyFor(base));
    QCOMPARE(key.size(), 64);
    QByteArray wrong = key;
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
    const quint16 port = QUrl(QString::fromStdString(base)).port();
    path.replace("{page}", m_web.Url("/watch").toUtf8());
    headers.replace("{rport}", QByteArray::number(port))
        .replace("{key}", key)
        .replace("{wrong}", wrong);
    const TRawAnswer answer = Exchange(port, "GET " + path + " HTTP/1.1\r\n" + headers + "\r\n");
    QCOMPARE(answer.Status, status);
    if (status == 200)
        QCOMPARE(answer.Body, m_web.Url("/clip.mp4").toUtf8());
    QCOMPARE(ResolverKeyFor("http://127.0.0.1:1"), std::string());
    // Handed over on standard input: not in its command line or environment.
    for (const char* file : {"cmdline", "environ"}) {
        QFile seen(QStringLiteral("/proc/%1/%2").arg(StartedResolverProcessId()).arg(file));
        QVERIFY(seen.open(QIODevice::ReadOnly));
        QVERIFY(!seen.readAll().contains(key));
    }
}

QTEST_MAIN(TResolverLaunchTest)
#include "tst_ResolverLaunch.moc"
