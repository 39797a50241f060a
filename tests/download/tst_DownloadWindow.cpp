// The download page through the real main window, offscreen, against a
// scripted resolving service and media server on 127.0.0.1.

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "download/DownloadThreadUnit.h"
#include "ui/look_widgets.h"

namespace {

QStringList DebugLines(const TWindowFixture& f)
{
    return f.Find<QPlainTextEdit>("DebugText")->toPlainText().split('\n');
}

}  // namespace

class DownloadWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void okDownloadsIntoTheFolder();
    void busyBarWithoutSize();
    void cancelDuringTransfer();
    void failureNamesLinkAndReason();
    void packedMediaIsSavedUnpacked();
};

void DownloadWindowTest::initTestCase()
{
    TGetInetFile::SetStallTimeout(3000);
}

void DownloadWindowTest::cleanup()
{
    SetResolverBaseAddress({});
}

void DownloadWindowTest::okDownloadsIntoTheFolder()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/get-url/index/link/", "body": "{base}/media.flv\r\n"})");
    server.AddRoute(R"({"path": "/media.flv", "bodySize": 3000000})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    SetResolverBaseAddress(server.BaseUrl().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(" http://video.example/watch?v=7&t=%3D ", folder.path());

    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Kind, TMessageKind::Information);
    QCOMPARE(f.Messages[0].Title, std::string(SuccessTitle));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    const QStringList files = FolderEntries(folder.path());
    QCOMPARE(files.size(), 1);
    QVERIFY(DebugLines(f).contains(files[0]));
    QCOMPARE(QString::fromStdString(f.Messages[0].Detail), "Saved as " + folder.filePath(files[0]));
    QCOMPARE(QFileInfo(folder.filePath(files[0])).size(), 3000000);
    QCOMPARE(server.Requests().at(0).Target,
             QByteArray("/get-url/index/link/?link=http://video.example/watch?v=7&t=%3D"));
    // Unlocked: OK back, Cancel off, the bar full.
    QVERIFY(f.OkEnabled());
    QVERIFY(!f.Button("ProcessCancelBtn")->isEnabled());
    QCOMPARE(f.Window->ProgressPosition(), 100);
}

void DownloadWindowTest::busyBarWithoutSize()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/get-url/index/link/", "body": "{base}/media.flv"})");
    server.AddRoute(R"({"path": "/media.flv", "bodySize": 300000, "chunked": true,
                        "dripBytes": 16384, "dripIntervalMs": 5})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    SetResolverBaseAddress(server.BaseUrl().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;
    auto* bar = f.Find<TProgressLine>("ProgressLine");
    bool sawBusy = false;
    WhenTrue(
        f.Window.get(), [bar] { return bar->IsBusy(); }, [&sawBusy] { sawBusy = true; });

    f.RunDownload("http://video.example/", folder.path());

    QVERIFY(sawBusy);
    QVERIFY(!bar->IsBusy());
    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
}

void DownloadWindowTest::cancelDuringTransfer()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/get-url/index/link/", "body": "{base}/media.flv"})");
    server.AddRoute(R"({"path": "/media.flv", "bodySize": 2000000, "dripBytes": 8192,
                        "dripIntervalMs": 5})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    SetResolverBaseAddress(server.BaseUrl().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;
    bool unlockedAtOnce = false;
    WhenTrue(
        f.Window.get(), [&f] { return f.Window->ProgressPosition() >= 2; },
        [&f, &unlockedAtOnce] {
            f.Button("ProcessCancelBtn")->click();
            unlockedAtOnce = !f.Button("ProcessCancelBtn")->isEnabled();
        });

    f.RunDownload("http://video.example/", folder.path());

    QVERIFY(unlockedAtOnce);
    QCOMPARE(f.Messages.size(), size_t(0));
    QCOMPARE(FolderEntries(folder.path()), QStringList());
    QVERIFY(!f.Window->IsJobRunning());
    QVERIFY(f.OkEnabled());

    // The next OK runs the same job again, no longer stopped.
    f.Button("ProcessOkBtn")->click();
    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    const QStringList files = FolderEntries(folder.path());
    QCOMPARE(files.size(), 1);
    QCOMPARE(QFileInfo(folder.filePath(files[0])).size(), 2000000);
    QCOMPARE(f.Window->ProgressPosition(), 100);
}

void DownloadWindowTest::failureNamesLinkAndReason()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/get-url/index/link/", "body": "{base}/gone.mp4"})");
    server.AddRoute(R"({"path": "/gone.mp4", "status": 404, "body": "no such file"})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    SetResolverBaseAddress(server.BaseUrl().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;

    f.RunDownload("http://video.example/watch?v=404", folder.path());

    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Kind, TMessageKind::Warning);
    QCOMPARE(f.Messages[0].Text, std::string(MsgCannotCreate));
    QCOMPARE(QString::fromStdString(f.Messages[0].Detail),
             "Link: http://video.example/watch?v=404\nMedia link: " + server.Url("/gone.mp4") +
                 "\nReason: the server answered 404 Not Found");
    QCOMPARE(FolderEntries(folder.path()), QStringList());
    QVERIFY(f.OkEnabled());
}

// A media server that packs the file with gzip although the program asked
// for it as it is: the saved file is the media, not the packed bytes.
void DownloadWindowTest::packedMediaIsSavedUnpacked()
{
    const QByteArray media = TTestHttpServer::GeneratedBody(0, 500000);
    const QByteArray bytes = Gzipped(media);
    QVERIFY(!bytes.isEmpty());
    QTemporaryDir files;
    QFile packed(files.filePath("media.gz"));
    QVERIFY(packed.open(QIODevice::WriteOnly) && packed.write(bytes) == bytes.size());
    packed.close();
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/get-url/index/link/", "body": "{base}/media.mp4"})");
    server.AddRoute(QJsonObject{{"path", "/media.mp4"},
                                {"contentType", "video/mp4"},
                                {"headers", QJsonObject{{"Content-Encoding", "gzip"}}},
                                {"bodyFile", packed.fileName()}});
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    SetResolverBaseAddress(server.BaseUrl().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;

    f.RunDownload("http://video.example/packed", folder.path());

    QCOMPARE(f.Messages.size(), size_t(1));
    QCOMPARE(f.Messages[0].Text, std::string(MsgDownloaded));
    const QStringList saved = FolderEntries(folder.path());
    QCOMPARE(saved.size(), 1);
    QFile file(folder.filePath(saved[0]));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == media);
}

QTEST_MAIN(DownloadWindowTest)
#include "tst_DownloadWindow.moc"
