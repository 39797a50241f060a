// The download job end to end: a scripted server plays the resolving service
// and the media server; the job runs against a recording host.

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "JobRecorders.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "download/DownloadThreadUnit.h"

namespace {

const QString Internet = QString::fromUtf8(MsgInternetError);
const QString CannotCreate = QString::fromUtf8(MsgCannotCreate);
const QString Downloaded = QString::fromUtf8(MsgDownloaded);
const QByteArray ResolverPath = "/get-url/index/link/";

// The media files of a folder: seven digits + ".flv".
QStringList MediaFiles(const QString& folder)
{
    static const QRegularExpression name("^[0-9]{7}\\.flv$");
    const QStringList entries = FolderEntries(folder);
    QStringList media = entries.filter(name);
    return media.size() == entries.size() ? media : entries;  // strays show up in a failure
}

int CountRequests(const TTestHttpServer& server, const QByteArray& path)
{
    int count = 0;
    for (const TTestHttpRequest& r : server.Requests())
        count += r.Path == path ? 1 : 0;
    return count;
}

}  // namespace

class DownloadJobTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void outcomes_data();
    void outcomes();
    void unreachableResolver();
    void linkIsSentAsTyped_data();
    void linkIsSentAsTyped();
    void folderDelimiter_data();
    void folderDelimiter();
    void unusableFolderFetchesNothing_data();
    void unusableFolderFetchesNothing();
    void takenNameIsNeverReplaced_data();
    void takenNameIsNeverReplaced();
    void secondDownloadGetsNewName();
    void cancelDuringTransfer();
    void cancelDuringResolve();

private:
    // Starts SERVER with a resolving route answering ANSWER plus the media routes.
    static bool StartServer(TTestHttpServer& server, const QJsonObject& answer,
                            const QList<QByteArray>& media = {});
};

void DownloadJobTest::initTestCase()
{
    TGetInetFile::SetStallTimeout(1500);
}

void DownloadJobTest::cleanup()
{
    SetDownloadNameSeed(std::nullopt);
}

bool DownloadJobTest::StartServer(TTestHttpServer& server, const QJsonObject& answer,
                                  const QList<QByteArray>& media)
{
    QJsonObject resolver = answer;
    resolver.insert("path", QString::fromLatin1(ResolverPath));
    server.AddRoute(resolver);
    server.AddRoute(R"({"path": "/media.flv", "bodySize": 250000, "contentType": "video/x-flv"})");
    for (const QByteArray& route : media)
        server.AddRoute(route);
    return server.Start();
}

void DownloadJobTest::outcomes_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QList<QByteArray>>("media");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<qint64>("fileSize");  // -1: no file
    QTest::addColumn<bool>("nameDrawn");   // the DebugText line is a name

    const QList<QByteArray> none;
    QTest::newRow("downloads") << QJsonObject{{"body", "{base}/media.flv"}} << none
                               << QStringList{Downloaded} << 250000LL << true;
    QTest::newRow("answer in line breaks") << QJsonObject{{"body", "\r\n{base}/media.flv \r\n"}}
                                           << none << QStringList{Downloaded} << 250000LL << true;
    QTest::newRow("answer's status is not examined")
        << QJsonObject{{"status", 500}, {"body", "{base}/media.flv"}} << none
        << QStringList{Downloaded} << 250000LL << true;
    QTest::newRow("answer's 400 status is not examined")
        << QJsonObject{{"status", 400}, {"body", "{base}/media.flv"}} << none
        << QStringList{Downloaded} << 250000LL << true;
    QTest::newRow("error on a 400 page") << QJsonObject{{"status", 400}, {"body", "error"}} << none
                                         << QStringList{CannotCreate} << -1LL << false;
    QTest::newRow("media behind redirects")
        << QJsonObject{{"body", "{base}/m1"}}
        << QList<QByteArray>{R"({"path": "/m1", "redirect": "/m2"})",
                             R"({"path": "/m2", "status": 303, "redirect": "{base}/media.flv"})"}
        << QStringList{Downloaded} << 250000LL << true;
    QTest::newRow("chunked media") << QJsonObject{{"body", "{base}/c.flv"}}
                                   << QList<QByteArray>{R"({"path": "/c.flv", "bodySize": 90000,
                                                             "chunked": true})"}
                                   << QStringList{Downloaded} << 90000LL << true;
    QTest::newRow("error") << QJsonObject{{"body", "error"}} << none << QStringList{CannotCreate}
                           << -1LL << false;
    QTest::newRow("error in line breaks") << QJsonObject{{"body", "\r\nerror\r\n"}} << none
                                          << QStringList{CannotCreate} << -1LL << false;
    QTest::newRow("empty answer") << QJsonObject{{"body", ""}} << none << QStringList{CannotCreate}
                                  << -1LL << false;
    QTest::newRow("blank answer") << QJsonObject{{"body", " \r\n\t "}} << none
                                  << QStringList{CannotCreate} << -1LL << false;
    QTest::newRow("answer too long") << QJsonObject{{"bodySize", 2 * 1024 * 1024}} << none
                                     << QStringList{CannotCreate} << -1LL << false;
    QTest::newRow("Error is taken as a link")
        << QJsonObject{{"body", "Error"}} << none << QStringList{Internet, CannotCreate} << -1LL
        << true;
    QTest::newRow("answer names a local file")
        << QJsonObject{{"body", "file:///etc/hostname"}} << none
        << QStringList{Internet, CannotCreate} << -1LL << true;
    // The size query is silent; only the download says the host is gone.
    QTest::newRow("media host unreachable")
        << QJsonObject{{"body", QStringLiteral("http://127.0.0.1:%1/m.flv")
                                    .arg(TTestHttpServer::ClosedPort())}}
        << none << QStringList{Internet, CannotCreate} << -1LL << true;
    QTest::newRow("media is an error page")
        << QJsonObject{{"body", "{base}/gone.flv"}}
        << QList<QByteArray>{R"({"path": "/gone.flv", "status": 404, "body": "not here"})"}
        << QStringList{CannotCreate} << -1LL << true;
    QTest::newRow("media cut off")
        << QJsonObject{{"body", "{base}/cut.flv"}}
        << QList<QByteArray>{R"({"path": "/cut.flv", "bodySize": 250000, "cutAfter": 100000})"}
        << QStringList{Internet, CannotCreate} << -1LL << true;
    QTest::newRow("media stalls")
        << QJsonObject{{"body", "{base}/stall.flv"}}
        << QList<QByteArray>{R"({"path": "/stall.flv", "bodySize": 250000, "stallAfter": 1})"}
        << QStringList{Internet, CannotCreate} << -1LL << true;
}

void DownloadJobTest::outcomes()
{
    QFETCH(QJsonObject, answer);
    QFETCH(QList<QByteArray>, media);
    QFETCH(QStringList, boxes);
    QFETCH(qint64, fileSize);
    QFETCH(bool, nameDrawn);

    TTestHttpServer server;
    QVERIFY2(StartServer(server, answer, media), qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    DownloadProcessJob(host, "http://video.example/watch?v=1", folder.path().toStdString(),
                       server.BaseUrl().toStdString());

    QCOMPARE(recorder.Texts(), boxes);
    QCOMPARE(host.Log.size(), size_t(1));
    const QString line = QString::fromStdString(host.Log[0]);
    QCOMPARE(!line.isEmpty(), nameDrawn);
    // The bar: percents that never fall back, then 1 for the closing box.
    QVERIFY(!host.Progress.empty());
    QCOMPARE(host.Progress.back(), 1);
    QVERIFY(std::is_sorted(host.Progress.begin(), host.Progress.end() - 1));
    const QStringList files = MediaFiles(folder.path());
    if (fileSize < 0) {
        QCOMPARE(files, QStringList());
        return;
    }
    QCOMPARE(files, QStringList{line});
    QFile file(folder.filePath(line));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), fileSize);
    QVERIFY(TTestHttpServer::IsGeneratedBody(bytes));
}

void DownloadJobTest::unreachableResolver()
{
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    const std::string base =
        QStringLiteral("http://127.0.0.1:%1").arg(TTestHttpServer::ClosedPort()).toStdString();
    DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(), base);
    QCOMPARE(recorder.Texts(), (QStringList{Internet, CannotCreate}));
    QCOMPARE(host.Log, std::vector<std::string>{""});
    QCOMPARE(FolderEntries(folder.path()), QStringList());
}

void DownloadJobTest::linkIsSentAsTyped_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("sent");  // the link as it appears in the request line

    QTest::newRow("blanks around, & ? % inside")
        << QByteArray("  \thttp://site.example/watch?v=a1&list=x%3Dy&t=?z \r\n")
        << QByteArray("http://site.example/watch?v=a1&list=x%3Dy&t=?z");
    QTest::newRow("escapes kept as escapes") << QByteArray("http://s.example/p?q=%26%3F%2F%25")
                                             << QByteArray("http://s.example/p?q=%26%3F%2F%25");
    QTest::newRow("a bare percent") << QByteArray("http://s.example/p?q=100%&r=1")
                                    << QByteArray("http://s.example/p?q=100%25&r=1");
    QTest::newRow("blank inside") << QByteArray("http://s.example/a b?c=d e")
                                  << QByteArray("http://s.example/a%20b?c=d%20e");
    QTest::newRow("non-ASCII") << QByteArray("http://s.example/\xc3\xa9t\xc3\xa9")
                               << QByteArray("http://s.example/%C3%A9t%C3%A9");
}

void DownloadJobTest::linkIsSentAsTyped()
{
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, sent);
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "error"}}), qPrintable(server.ErrorString()));
    TRecordingHost host;
    TMessageRecorder recorder;
    DownloadProcessJob(host, typed.toStdString(), "/nonexistent", server.BaseUrl().toStdString());
    const QList<TTestHttpRequest> requests = server.Requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].RequestLine, "GET " + ResolverPath + "?link=" + sent + " HTTP/1.1");
    QCOMPARE(requests[0].Header("User-Agent"),
             QByteArray("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)"));
}

void DownloadJobTest::folderDelimiter_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("without delimiter") << "";
    QTest::newRow("with delimiter") << "/";
    QTest::newRow("blanks around") << "/  ";
}

void DownloadJobTest::folderDelimiter()
{
    QFETCH(QString, suffix);
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/media.flv"}}),
             qPrintable(server.ErrorString()));
    QTemporaryDir parent;
    // A folder name with blanks, quotes, a leading dash and non-ASCII letters.
    const QString folder = parent.filePath("-my \"f\xc3\xa9lder\" 'x'");
    QVERIFY(QDir().mkpath(folder));
    TRecordingHost host;
    TMessageRecorder recorder;
    DownloadProcessJob(host, "http://video.example/", (" " + folder + suffix).toStdString(),
                       server.BaseUrl().toStdString());
    QCOMPARE(recorder.Texts(), QStringList{Downloaded});
    QCOMPARE(MediaFiles(folder), QStringList{QString::fromStdString(host.Log.at(0))});
}

void DownloadJobTest::unusableFolderFetchesNothing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << "missing/deeper";
    QTest::newRow("no folder") << "";
}

void DownloadJobTest::unusableFolderFetchesNothing()
{
    QFETCH(QString, folder);
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/media.flv"}}),
             qPrintable(server.ErrorString()));
    QTemporaryDir parent;
    const QString destination = folder.isEmpty() ? QString() : parent.filePath(folder);
    TRecordingHost host;
    TMessageRecorder recorder;
    DownloadProcessJob(host, "http://video.example/", destination.toStdString(),
                       server.BaseUrl().toStdString());
    QCOMPARE(recorder.Texts(), QStringList{CannotCreate});
    QCOMPARE(host.Log.size(), size_t(1));
    QVERIFY(!host.Log[0].empty());
    QCOMPARE(CountRequests(server, "/media.flv"), 0);
    QCOMPARE(FolderEntries(parent.path()), QStringList());
}

void DownloadJobTest::takenNameIsNeverReplaced_data()
{
    QTest::addColumn<bool>("danglingLink");
    QTest::addColumn<qulonglong>("seed");
    QTest::newRow("the user's own file") << false << qulonglong(20240607);
    QTest::newRow("a link whose target is gone") << true << qulonglong(19700101);
}

void DownloadJobTest::takenNameIsNeverReplaced()
{
    QFETCH(bool, danglingLink);
    QFETCH(qulonglong, seed);
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/media.flv"}}),
             qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TMessageRecorder recorder;
    // The same seed draws the same first name twice.
    SetDownloadNameSeed(seed);
    TRecordingHost first;
    DownloadProcessJob(first, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    const QString taken = QString::fromStdString(first.Log.at(0));
    QFile keep(folder.filePath(taken));
    if (danglingLink) {
        // The name now belongs to a link whose target is gone.
        QVERIFY(QFile::remove(folder.filePath(taken)));
        QVERIFY(QFile::link(folder.filePath("gone"), folder.filePath(taken)));
    } else {
        QVERIFY(keep.open(QIODevice::WriteOnly | QIODevice::Truncate));
        keep.write("the user's own file");
        keep.close();
    }

    TRecordingHost second;
    DownloadProcessJob(second, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    const QString drawn = QString::fromStdString(second.Log.at(0));
    QVERIFY(drawn != taken);
    QCOMPARE(recorder.Texts(), (QStringList{Downloaded, Downloaded}));
    if (danglingLink) {
        QVERIFY(QFileInfo(folder.filePath(taken)).isSymLink());
        QVERIFY(!QFileInfo::exists(folder.filePath("gone")));
    } else {
        QVERIFY(keep.open(QIODevice::ReadOnly));
        QCOMPARE(keep.readAll(), QByteArray("the user's own file"));
    }
    QCOMPARE(QFileInfo(folder.filePath(drawn)).size(), 250000);
}

void DownloadJobTest::secondDownloadGetsNewName()
{
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/media.flv"}}),
             qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TMessageRecorder recorder;
    TRecordingHost host;
    for (int i = 0; i < 2; ++i) {
        DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(),
                           server.BaseUrl().toStdString());
    }
    QCOMPARE(host.Log.size(), size_t(2));
    QVERIFY(host.Log[0] != host.Log[1]);
    QCOMPARE(MediaFiles(folder.path()).size(), 2);
}

void DownloadJobTest::cancelDuringTransfer()
{
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/slow.flv"}},
                         {R"({"path": "/slow.flv", "bodySize": 400000, "dripBytes": 4096,
                              "dripIntervalMs": 5})"}),
             qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    host.OnProgress = [](TRecordingHost& h) {
        if (h.Progress.back() >= 2)
            h.Stop = true;
    };
    DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    QCOMPARE(recorder.Texts(), QStringList());
    QCOMPARE(FolderEntries(folder.path()), QStringList());
    QCOMPARE(host.Log.size(), size_t(1));
    QVERIFY(!host.Log[0].empty());
    QCOMPARE(host.Progress.back(), 1);
}

void DownloadJobTest::cancelDuringResolve()
{
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/media.flv"}, {"delayMs", 5000}}),
             qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    // Cancel arrives as a window event while the job waits for the answer.
    QTimer::singleShot(200, [&host] { host.Stop = true; });
    DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    QCOMPARE(recorder.Texts(), QStringList());
    QCOMPARE(host.Log, std::vector<std::string>{""});
    QCOMPARE(CountRequests(server, "/media.flv"), 0);
    QCOMPARE(FolderEntries(folder.path()), QStringList());
}

QTEST_GUILESS_MAIN(DownloadJobTest)
#include "tst_DownloadJob.moc"
