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
#include "TestMedia.h"
#include "download/DownloadThreadUnit.h"
#include "download/MediaKindUnit.h"

namespace {

const QString Internet = QString::fromUtf8(MsgInternetError);
const QString CannotCreate = QString::fromUtf8(MsgCannotCreate);
const QString Downloaded = QString::fromUtf8(MsgDownloaded);
const QByteArray ResolverPath = "/get-url/index/link/";

// The media files of a folder: seven digits + an extension.
QStringList MediaFiles(const QString& folder)
{
    static const QRegularExpression name("^[0-9]{7}\\.[a-z0-9]+$");
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
    void extensionOfMedia_data();
    void extensionOfMedia();
    void extensionBehindLongId3Tag();
    void savedNameFollowsContent_data();
    void savedNameFollowsContent();
    void nothingUnderTheNameUntilComplete();
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

    // Short media of many kinds, made once by ffmpeg.
    QTemporaryDir m_media;
};

void DownloadJobTest::initTestCase()
{
    TGetInetFile::SetStallTimeout(1500);
    QVERIFY(m_media.isValid());
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
    QTest::addColumn<QString>("reason");   // a part of the closing box's detail

    const QList<QByteArray> none;
    QTest::newRow("downloads") << QJsonObject{{"body", "{base}/media.flv"}} << none
                               << QStringList{Downloaded} << 250000LL << true << "Saved as ";
    // The service may work on its answer longer than any transfer may stall.
    QTest::newRow("slow answer") << QJsonObject{{"body", "{base}/media.flv"}, {"delayMs", 2500}}
                                 << none << QStringList{Downloaded} << 250000LL << true
                                 << "Saved as ";
    QTest::newRow("answer in line breaks")
        << QJsonObject{{"body", "\r\n{base}/media.flv \r\n"}} << none << QStringList{Downloaded}
        << 250000LL << true << "Saved as ";
    QTest::newRow("answer's status is not examined")
        << QJsonObject{{"status", 500}, {"body", "{base}/media.flv"}} << none
        << QStringList{Downloaded} << 250000LL << true << "Saved as ";
    QTest::newRow("answer's 400 status is not examined")
        << QJsonObject{{"status", 400}, {"body", "{base}/media.flv"}} << none
        << QStringList{Downloaded} << 250000LL << true << "Saved as ";
    QTest::newRow("error on a 400 page")
        << QJsonObject{{"status", 400}, {"body", "error"}} << none << QStringList{CannotCreate}
        << -1LL << false << "Reason: the resolving service answered \"error\"";
    QTest::newRow("media behind redirects")
        << QJsonObject{{"body", "{base}/m1"}}
        << QList<QByteArray>{R"({"path": "/m1", "redirect": "/m2"})",
                             R"({"path": "/m2", "status": 303, "redirect": "{base}/media.flv"})"}
        << QStringList{Downloaded} << 250000LL << true << "Saved as ";
    QTest::newRow("chunked media") << QJsonObject{{"body", "{base}/c.flv"}}
                                   << QList<QByteArray>{R"({"path": "/c.flv", "bodySize": 90000,
                                                             "chunked": true})"}
                                   << QStringList{Downloaded} << 90000LL << true << "Saved as ";
    QTest::newRow("error") << QJsonObject{{"body", "error"}} << none << QStringList{CannotCreate}
                           << -1LL << false << "Reason: the resolving service answered \"error\"";
    QTest::newRow("error in line breaks")
        << QJsonObject{{"body", "\r\nerror\r\n"}} << none << QStringList{CannotCreate} << -1LL
        << false << "answered \"error\"";
    QTest::newRow("empty answer") << QJsonObject{{"body", ""}} << none << QStringList{CannotCreate}
                                  << -1LL << false
                                  << "Reason: the resolving service gave an empty answer";
    QTest::newRow("blank answer") << QJsonObject{{"body", " \r\n\t "}} << none
                                  << QStringList{CannotCreate} << -1LL << false
                                  << "Reason: the resolving service gave an empty answer";
    QTest::newRow("answer too long")
        << QJsonObject{{"bodySize", 2 * 1024 * 1024}} << none << QStringList{CannotCreate} << -1LL
        << false << "longer than 1048576 bytes";
    QTest::newRow("Error is taken as a link")
        << QJsonObject{{"body", "Error"}} << none << QStringList{Internet, CannotCreate} << -1LL
        << true << "Media link: Error\nReason: the link is not an http or https link";
    QTest::newRow("answer names a local file")
        << QJsonObject{{"body", "file:///etc/hostname"}} << none
        << QStringList{Internet, CannotCreate} << -1LL << true
        << "not an http or https link: file:///etc/hostname";
    // The size query is silent; only the download says the host is gone.
    QTest::newRow("media host unreachable")
        << QJsonObject{{"body", QStringLiteral("http://127.0.0.1:%1/m.flv")
                                    .arg(TTestHttpServer::ClosedPort())}}
        << none << QStringList{Internet, CannotCreate} << -1LL << true << "refused the connection";
    QTest::newRow("media is an error page")
        << QJsonObject{{"body", "{base}/gone.flv"}}
        << QList<QByteArray>{R"({"path": "/gone.flv", "status": 404, "body": "not here"})"}
        << QStringList{CannotCreate} << -1LL << true
        << "/gone.flv\nReason: the server answered 404 Not Found";
    QTest::newRow("media cut off")
        << QJsonObject{{"body", "{base}/cut.flv"}}
        << QList<QByteArray>{R"({"path": "/cut.flv", "bodySize": 250000, "cutAfter": 100000})"}
        << QStringList{Internet, CannotCreate} << -1LL << true << "broke off after";
    QTest::newRow("media stalls")
        << QJsonObject{{"body", "{base}/stall.flv"}}
        << QList<QByteArray>{R"({"path": "/stall.flv", "bodySize": 250000, "stallAfter": 1000})"}
        << QStringList{Internet, CannotCreate} << -1LL << true
        << "stopped sending after 1000 bytes";
    // Answers that are no file: nothing is saved and the box says why.
    const auto noFile = [](const char* name, const QByteArray& route, const char* reason,
                           bool box) {
        QTest::newRow(name) << QJsonObject{{"body", "{base}/x.flv"}} << QList<QByteArray>{route}
                            << (box ? QStringList{Internet, CannotCreate}
                                    : QStringList{CannotCreate})
                            << -1LL << true << QString::fromUtf8(reason);
    };
    noFile("204", R"({"path": "/x.flv", "status": 204, "contentLength": false})", "204 No Content",
           false);
    noFile("empty body", R"({"path": "/x.flv", "body": ""})", "empty file", false);
    noFile("206 unasked", R"({"path": "/x.flv", "status": 206, "bodySize": 5000})",
           "206 Partial Content", false);
    noFile("3xx without Location", R"({"path": "/x.flv", "status": 302, "body": "moved"})",
           "302 Found", false);
    noFile("two lengths", R"({"path": "/x.flv", "bodySize": 5000, "contentLength": [5000, 9000]})",
           "disagreeing lengths", false);
    noFile("chunked, cut before the last chunk",
           R"({"path": "/x.flv", "bodySize": 90000, "chunked": true, "cutAfter": 32768})",
           "broke off", true);
}

void DownloadJobTest::outcomes()
{
    QFETCH(QJsonObject, answer);
    QFETCH(QList<QByteArray>, media);
    QFETCH(QStringList, boxes);
    QFETCH(qint64, fileSize);
    QFETCH(bool, nameDrawn);
    QFETCH(QString, reason);

    TTestHttpServer server;
    QVERIFY2(StartServer(server, answer, media), qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    DownloadProcessJob(host, "http://video.example/watch?v=1", folder.path().toStdString(),
                       server.BaseUrl().toStdString());

    QCOMPARE(recorder.Texts(), boxes);
    const QString detail = QString::fromStdString(recorder.Messages.back().Detail);
    QVERIFY2(detail.contains(reason), qPrintable(detail));
    if (fileSize < 0)
        QVERIFY2(detail.startsWith("Link: http://video.example/watch?v=1\n"), qPrintable(detail));
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
    QCOMPARE(detail, "Saved as " + folder.filePath(line));
    QFile file(folder.filePath(line));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), fileSize);
    QVERIFY(TTestHttpServer::IsGeneratedBody(bytes));
}

void DownloadJobTest::extensionOfMedia_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("ffmpeg");  // empty: FILE is written by the test
    QTest::addColumn<QString>("extension");

    const QStringList video{"-f", "lavfi", "-i", "testsrc=d=0.4:s=64x48:r=25"};
    const QStringList audio{"-f", "lavfi", "-i", "sine=d=0.4"};
    const QStringList both = video + audio;
    QTest::newRow("MP4") << "a.mp4" << both + QStringList{"-c:v", "libx264", "-c:a", "aac"}
                         << ".mp4";
    QTest::newRow("M4A by its brand") << "a.m4a" << audio + QStringList{"-c:a", "aac"} << ".m4a";
    QTest::newRow("QuickTime") << "a.mov" << video + QStringList{"-c:v", "mjpeg"} << ".mov";
    QTest::newRow("3GP") << "a.3gp" << audio + QStringList{"-c:a", "aac", "-ar", "8000"} << ".3gp";
    QTest::newRow("WebM") << "a.webm" << audio + QStringList{"-c:a", "libopus"} << ".webm";
    QTest::newRow("Matroska") << "a.mkv" << audio + QStringList{"-c:a", "flac"} << ".mkv";
    QTest::newRow("MP3 with ID3") << "a.mp3" << audio + QStringList{"-c:a", "libmp3lame"} << ".mp3";
    QTest::newRow("MP3 without a tag")
        << "b.mp3" << audio + QStringList{"-c:a", "libmp3lame", "-write_id3v2", "0"} << ".mp3";
    QTest::newRow("AAC stream") << "a.aac" << audio + QStringList{"-c:a", "aac"} << ".aac";
    QTest::newRow("Ogg") << "a.ogg" << audio + QStringList{"-c:a", "libvorbis"} << ".ogg";
    QTest::newRow("WAV") << "a.wav" << audio << ".wav";
    QTest::newRow("FLAC") << "a.flac" << audio << ".flac";
    QTest::newRow("AVI") << "a.avi" << video + QStringList{"-c:v", "mpeg4"} << ".avi";
    QTest::newRow("MPEG program stream")
        << "a.mpg" << both + QStringList{"-c:v", "mpeg1video", "-c:a", "mp2"} << ".mpg";
    QTest::newRow("MPEG transport stream")
        << "a.ts" << both + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2"} << ".ts";
    QTest::newRow("ASF") << "a.wmv" << both + QStringList{"-c:v", "wmv2", "-c:a", "wmav2"}
                         << ".wmv";
    QTest::newRow("FLV") << "a.flv" << both + QStringList{"-c:v", "flv", "-c:a", "libmp3lame"}
                         << ".flv";
    QTest::newRow("AC-3") << "a.ac3" << audio + QStringList{"-c:a", "ac3"} << ".ac3";
    QTest::newRow("text is not media") << "page.html" << QStringList() << ".flv";
    QTest::newRow("nothing at all") << "empty" << QStringList() << ".flv";
}

void DownloadJobTest::extensionOfMedia()
{
    QFETCH(QString, file);
    QFETCH(QStringList, ffmpeg);
    QFETCH(QString, extension);
    const QString path = m_media.filePath(file);
    if (ffmpeg.isEmpty()) {
        QFile text(path);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(file == "empty" ? QByteArray() : QByteArray("<html><body>no media</body>"));
    } else {
        QVERIFY(MakeMedia(ffmpeg + QStringList{path}));
    }
    QCOMPARE(QString::fromStdString(MediaExtensionOfFile(path.toStdString())), extension);
}

void DownloadJobTest::extensionBehindLongId3Tag()
{
    // A tag longer than the bytes first read (a cover picture), then FLAC,
    // then MP3 frames, then nothing the tag could stand in front of.
    const auto tagged = [](const QByteArray& behind) {
        const int size = 200000;
        QByteArray tag("ID3\x04\x00\x00", 6);
        for (int shift : {21, 14, 7, 0})
            tag += static_cast<char>((size >> shift) & 0x7F);
        return tag + QByteArray(size, '\0') + behind;
    };
    const QList<QPair<QByteArray, QString>> cases = {
        {tagged("fLaC\x00\x00\x00\x22"), ".flac"},
        {tagged(QByteArray("\xFF\xFB\x90\x64", 4) + QByteArray(400, '\0')), ".mp3"},
        {tagged(QByteArray(64, '\x55')), ".mp3"},
    };
    for (const auto& [bytes, extension] : cases) {
        QTemporaryDir folder;
        QFile file(folder.filePath("x"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QCOMPARE(QString::fromStdString(MediaExtensionOfFile(file.fileName().toStdString())),
                 extension);
    }
}

void DownloadJobTest::savedNameFollowsContent_data()
{
    QTest::addColumn<QStringList>("ffmpeg");
    QTest::addColumn<QString>("extension");
    const QStringList audio{"-f", "lavfi", "-i", "sine=d=0.4"};
    QTest::newRow("MP4 saved as .mp4")
        << QStringList{"-f",   "lavfi",   "-i", "testsrc=d=0.4:s=64x48:r=10",
                       "-c:v", "libx264", "-f", "mp4"}
        << ".mp4";
    QTest::newRow("WebM saved as .webm")
        << audio + QStringList{"-c:a", "libopus", "-f", "webm"} << ".webm";
    QTest::newRow("MP3 saved as .mp3")
        << audio + QStringList{"-c:a", "libmp3lame", "-f", "mp3"} << ".mp3";
}

void DownloadJobTest::savedNameFollowsContent()
{
    QFETCH(QStringList, ffmpeg);
    QFETCH(QString, extension);
    QTemporaryDir source;
    // The link says ".flv"; the content decides.
    const QString media = source.filePath("media.bin");
    QVERIFY(MakeMedia(ffmpeg + QStringList{media}));
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/get-url/index/link/", "body": "{base}/v.flv"})");
    server.AddRoute(QJsonObject{{"path", "/v.flv"}, {"bodyFile", media}});
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    QCOMPARE(recorder.Texts(), QStringList{Downloaded});
    const QString name = QString::fromStdString(host.Log.at(0));
    QVERIFY2(QRegularExpression("^[0-9]{7}\\" + extension + "$").match(name).hasMatch(),
             qPrintable(name));
    QCOMPARE(FolderEntries(folder.path()), QStringList{name});
    QCOMPARE(QString::fromStdString(recorder.Messages.back().Detail),
             "Saved as " + folder.filePath(name));
    QFile saved(folder.filePath(name));
    QFile original(media);
    QVERIFY(saved.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == original.readAll());
}

void DownloadJobTest::nothingUnderTheNameUntilComplete()
{
    // What stands in the folder while the body arrives is what a killed
    // program would leave: one hidden file, never a drawn name.
    TTestHttpServer server;
    QVERIFY2(StartServer(server, QJsonObject{{"body", "{base}/slow.flv"}},
                         {R"({"path": "/slow.flv", "bodySize": 400000, "dripBytes": 16384,
                              "dripIntervalMs": 5})"}),
             qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    QList<QStringList> seen;
    host.OnProgress = [&](TRecordingHost&) { seen << FolderEntries(folder.path()); };
    DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    QCOMPARE(recorder.Texts(), QStringList{Downloaded});
    QVERIFY(seen.size() > 10);
    for (const QStringList& entries : seen.mid(0, seen.size() - 1)) {
        QCOMPARE(entries.size(), 1);
        QVERIFY2(entries[0].startsWith('.') && entries[0].endsWith(".part"),
                 qPrintable(entries[0]));
    }
    QCOMPARE(FolderEntries(folder.path()), QStringList{QString::fromStdString(host.Log.at(0))});
}

void DownloadJobTest::unreachableResolver()
{
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    const quint16 port = TTestHttpServer::ClosedPort();
    const std::string base = QStringLiteral("http://127.0.0.1:%1").arg(port).toStdString();
    DownloadProcessJob(host, "http://video.example/", folder.path().toStdString(), base);
    QCOMPARE(recorder.Texts(), (QStringList{Internet, CannotCreate}));
    QCOMPARE(recorder.Messages.back().Detail,
             "Link: http://video.example/\nReason: the resolving service cannot be used: the "
             "server at 127.0.0.1:" +
                 std::to_string(port) + " refused the connection");
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
    QTest::addColumn<bool>("meanwhile");  // taken while the body arrives
    QTest::addColumn<qulonglong>("seed");
    QTest::newRow("the user's own file") << false << false << qulonglong(20240607);
    QTest::newRow("a link whose target is gone") << true << false << qulonglong(19700101);
    QTest::newRow("a file made during the download") << false << true << qulonglong(31415926);
    QTest::newRow("a link made during the download") << true << true << qulonglong(27182818);
}

void DownloadJobTest::takenNameIsNeverReplaced()
{
    QFETCH(bool, danglingLink);
    QFETCH(bool, meanwhile);
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
    QVERIFY(QFile::remove(folder.filePath(taken)));
    QFile keep(folder.filePath(taken));
    const auto takeName = [&] {
        if (danglingLink) {
            // The name now belongs to a link whose target is gone.
            QFile::link(folder.filePath("gone"), folder.filePath(taken));
        } else if (keep.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            keep.write("the user's own file");
            keep.close();
        }
    };
    TRecordingHost second;
    if (meanwhile)
        second.OnProgress = [&](TRecordingHost&) {
            if (!QFileInfo(folder.filePath(taken)).isSymLink() && !QFile::exists(keep.fileName()))
                takeName();
        };
    else
        takeName();

    DownloadProcessJob(second, "http://video.example/", folder.path().toStdString(),
                       server.BaseUrl().toStdString());
    const QString drawn = QString::fromStdString(second.Log.at(0));
    QVERIFY(drawn != taken);
    QCOMPARE(FolderEntries(folder.path()).size(), 2);
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
