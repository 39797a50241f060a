// The download page end to end: the real main window, offscreen, asks a
// running quorvex-resolver about a page served by testhttpd and saves the
// media file the page embeds, or says why it cannot.

#include "ResolverProcess.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"
#include "download/DownloadThreadUnit.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TResolverDownloadTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void PageLinkBecomesAFile();
    void FailureSaysWhy_data();
    void FailureSaysWhy();
    void ReasonStandsWithYtDlp();

private:
    // The link with {web} and {closed} filled in.
    QString Link(QString text) const;

    TTestHttpServer m_web;
    TResolverProcess m_resolver;
    QTemporaryDir m_noTools;
    quint16 m_closedPort = 0;
};

namespace {

constexpr qint64 MediaBytes = 750000;
// How long the service and the program wait for a silent server: the
// program waits longer, so that the service's answer about a silent page
// always comes first.
constexpr int ResolverStallMs = 1000;
constexpr int StallMs = 3000;

const QString Internet = QString::fromUtf8(MsgInternetError);
const QString CannotCreate = QString::fromUtf8(MsgCannotCreate);

}  // namespace

void TResolverDownloadTest::initTestCase()
{
    m_web.AddRoute(
        QJsonObject{{"target", "/watch/page?v=7&list=a%20b"},
                    {"contentType", "text/html; charset=utf-8"},
                    {"body",
                     "<html><head><title>Clip</title></head><body><video controls>"
                     "<source src='stream.m3u8' type='application/x-mpegURL'>"
                     "<source src='../files/clip.mp4' type='video/mp4'></video></body></html>"}});
    m_web.AddRoute(QJsonObject{{"path", "/watch/plain"},
                               {"contentType", "text/html"},
                               {"body", "<p>Only words here.</p>"}});
    m_web.AddRoute(QJsonObject{
        {"path", "/files/clip.mp4"}, {"contentType", "video/mp4"}, {"bodySize", MediaBytes}});
    m_closedPort = TTestHttpServer::ClosedPort();
    // Pages and files that give nothing, each for its own reason.
    m_web.AddRoute(QJsonObject{{"prefix", "/gone/"}, {"status", 404}, {"body", "not here"}});
    m_web.AddRoute(QJsonObject{{"path", "/files/stall.mp4"},
                               {"contentType", "video/mp4"},
                               {"bodySize", 3000000},
                               {"stallAfter", 1000000}});
    m_web.AddRoute(QJsonObject{{"path", "/watch/stalls"},
                               {"contentType", "text/html"},
                               {"bodySize", 300000},
                               {"stallAfter", 100}});
    m_web.AddRoute(QJsonObject{
        {"path", "/watch/deadvideo"},
        {"contentType", "text/html"},
        {"body", QString("<video src='http://127.0.0.1:%1/v.mp4'></video>").arg(m_closedPort)}});
    m_web.AddRoute(QJsonObject{
        {"path", "/watch/data"}, {"contentType", "application/json"}, {"body", "{\"clip\": 1}"}});
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));
    // The page rules alone (no yt-dlp on PATH), a short wait for silent
    // servers, and name lookups that give up at once.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH", m_noTools.path());
    environment.insert("RES_OPTIONS", "timeout:1 attempts:1");
    m_resolver.SetEnvironment(environment);
    QVERIFY(m_resolver.Start(
        {"--listen", "127.0.0.1:0", "--fetch-timeout", QString::number(ResolverStallMs / 1000)}));
    SetResolverBaseAddress(m_resolver.Base().toStdString());
    TGetInetFile::SetStallTimeout(StallMs);
}

QString TResolverDownloadTest::Link(QString text) const
{
    return text.replace("{web}", m_web.BaseUrl())
        .replace("{closed}", QString::number(m_closedPort));
}

void TResolverDownloadTest::cleanupTestCase()
{
    SetResolverBaseAddress({});
}

void TResolverDownloadTest::PageLinkBecomesAFile()
{
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(" " + m_web.Url("/watch/page?v=7&list=a%20b") + " ", folder.path());

    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    const QStringList files = FolderEntries(folder.path());
    QCOMPARE(files.size(), 1);
    QVERIFY(files[0].endsWith(".flv"));
    QFile file(folder.filePath(files[0]));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), MediaBytes);
    QVERIFY(TTestHttpServer::IsGeneratedBody(bytes));
    QVERIFY(f.OkEnabled());
}

// Every failure shows its boxes and names its own reason: a link that could
// not be reached is an Internet connection error, the others are not.
void TResolverDownloadTest::FailureSaysWhy_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("mediaLink");  // what the service answered, if a link
    QTest::addColumn<QString>("reason");
    const QStringList unreachable{Internet, CannotCreate};
    const QStringList notMedia{CannotCreate};

    QTest::newRow("refused port") << "http://127.0.0.1:{closed}/x.mp4" << unreachable << ""
                                  << "the server at 127.0.0.1:{closed} refused the connection";
    QTest::newRow("unknown name") << "http://nonexistent.invalid/watch?v=1" << unreachable << ""
                                  << "no server is known by the name nonexistent.invalid";
    QTest::newRow("page stalls") << "{web}/watch/stalls" << unreachable << ""
                                 << "the server at 127.0.0.1:{port} stopped sending";
    QTest::newRow("page whose video is unreachable")
        << "{web}/watch/deadvideo" << unreachable << ""
        << "the page names media, but the server at 127.0.0.1:{closed} refused the connection";
    QTest::newRow("media stalls after 1 MB")
        << "{web}/files/stall.mp4" << unreachable << "{web}/files/stall.mp4"
        << "the server at 127.0.0.1:{port} stopped sending after 1000000 bytes (nothing arrived "
           "for 3 s)";
    QTest::newRow("404 page") << "{web}/gone/page" << notMedia << ""
                              << "the page answered 404 Not Found";
    QTest::newRow("404 .mp4") << "{web}/gone/clip.mp4" << notMedia << ""
                              << "the media file answered 404 Not Found";
    QTest::newRow("page without media") << "{web}/watch/plain" << notMedia << ""
                                        << "the page has no video or sound that could be found";
    QTest::newRow("neither page nor media")
        << "{web}/watch/data" << notMedia << ""
        << "the link leads to neither a web page nor media (it is application/json)";
    QTest::newRow("ftp link") << "ftp://127.0.0.1/clip.mp4" << notMedia << ""
                              << "only http and https links can be downloaded";
    QTest::newRow("words") << "hello world" << notMedia << ""
                           << "the text is not a link (a link starts with http:// or https://)";
}

void TResolverDownloadTest::FailureSaysWhy()
{
    QFETCH(QString, link);
    QFETCH(QStringList, boxes);
    QFETCH(QString, mediaLink);
    QFETCH(QString, reason);
    link = Link(link);
    reason = Link(reason).replace("{port}", QString::number(m_web.Port()));
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(link, folder.path());

    QStringList shown;
    for (const auto& message : f.Messages)
        shown << QString::fromStdString(message.Text);
    QVERIFY2(shown == boxes, qPrintable(shown.join(" | ") + "\n" + m_resolver.Log()));
    const QString media = mediaLink.isEmpty() ? QString() : "Media link: " + Link(mediaLink) + "\n";
    QCOMPARE(QString::fromStdString(f.Messages.back().Detail),
             "Link: " + link + "\n" + media + "Reason: " + reason);
    QVERIFY(FolderEntries(folder.path()).isEmpty());
    QVERIFY(f.OkEnabled());
}

// With yt-dlp asked as well, the reason is still the page's own.
void TResolverDownloadTest::ReasonStandsWithYtDlp()
{
    if (QStandardPaths::findExecutable("yt-dlp").isEmpty())
        QSKIP("yt-dlp is not installed (scripts/deps installs it)");
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0"}));
    SetResolverBaseAddress(resolver.Base().toStdString());
    // yt-dlp takes its time before the service answers.
    TGetInetFile::SetStallTimeout(60000);
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(m_web.Url("/gone/page"), folder.path());

    TGetInetFile::SetStallTimeout(StallMs);
    SetResolverBaseAddress(m_resolver.Base().toStdString());
    QVERIFY2(f.Messages.size() == 1,
             (f.Messages.front().Text + " / " + f.Messages.back().Detail + "\n").c_str() +
                 resolver.Log());
    QCOMPARE(f.Messages[0].Text, std::string(MsgCannotCreate));
    QVERIFY2(QString::fromStdString(f.Messages[0].Detail)
                 .endsWith("Reason: the page answered 404 Not Found"),
             resolver.Log().constData());
}

QTEST_MAIN(TResolverDownloadTest)
#include "tst_ResolverDownload.moc"
