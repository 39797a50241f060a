// The download page end to end: the real main window, offscreen, asks a
// running quorvex-resolver about a page served by testhttpd and saves the
// media file the page embeds.

#include "ResolverProcess.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"
#include "download/DownloadThreadUnit.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TResolverDownloadTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void PageLinkBecomesAFile();
    void PageWithoutMediaSaysSo();

private:
    TTestHttpServer m_web;
    TResolverProcess m_resolver;
};

namespace {

constexpr qint64 MediaBytes = 750000;

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
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));
    QVERIFY(m_resolver.Start({"--listen", "127.0.0.1:0"}));
    SetResolverBaseAddress(m_resolver.Base().toStdString());
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

void TResolverDownloadTest::PageWithoutMediaSaysSo()
{
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(m_web.Url("/watch/plain"), folder.path());

    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Kind, TMessageKind::Warning);
    QCOMPARE(f.Messages[0].Text, std::string(MsgCannotCreate));
    QVERIFY(FolderEntries(folder.path()).isEmpty());
}

QTEST_MAIN(TResolverDownloadTest)
#include "tst_ResolverDownload.moc"
