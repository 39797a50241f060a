// The HTTP client against a real scripted server on 127.0.0.1.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

#include "JobRecorders.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "TestMedia.h"
#include "download/GetInetFileUnit.h"
#include "download/HttpHeadUnit.h"

namespace {

const QString Internet = QString::fromUtf8(MsgInternetError);
constexpr qint64 Huge = 3LL * 1024 * 1024 * 1024;  // beyond any 32-bit size

}  // namespace

class GetInetFileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void progressPercent_data();
    void progressPercent();
    void fetchableUrl_data();
    void fetchableUrl();
    void urlSize_data();
    void urlSize();
    void sizeQueryAbandonsBody();
    void headLines_data();
    void headLines();
    void downloadToFile_data();
    void downloadToFile();
    void cutChunkedBodyIsNeverSaved();
    void fullDiskLeavesNothing();
    void largeDownloadRisesWithoutFallingBack();
    void moreBytesThanExpectedKeepBarAt99();
    void cancelDuringTransferLeavesNothing();
    void cancelBeforeStartSendsNothing();
    void cancelOnFastLinkStopsWithinOneRead();
    void existingFileIsReplaced();
    void missingFolderFailsWithoutBox();
    void urlText_data();
    void urlText();
    void proxyFromEnvironment_data();
    void proxyFromEnvironment();
    void packedBodyIsSavedUnpacked_data();
    void packedBodyIsSavedUnpacked();

private:
    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }
    QList<TTestHttpRequest> RequestsFor(const QByteArray& path) const;

    TTestHttpServer m_server;
    QTemporaryDir m_files;
    std::string m_unreachable;
};

void GetInetFileTest::initTestCase()
{
    TGetInetFile::SetStallTimeout(1500);
    QFile exact(m_files.filePath("exact.txt"));
    QVERIFY(exact.open(QIODevice::WriteOnly));
    exact.write(QByteArray(TGetInetFile::MaxTextSize, 'a'));
    exact.close();

    const QList<QByteArray> routes = {
        R"({"path": "/len", "bodySize": 12345})",
        R"({"path": "/chunked", "bodySize": 300000, "chunked": true})",
        R"({"path": "/nolength", "bodySize": 50000, "contentLength": false})",
        R"({"path": "/huge", "bodySize": 3221225472})",
        R"({"path": "/missing", "status": 404, "body": "not here"})",
        R"({"path": "/badrequest", "status": 400, "body": "error"})",
        R"({"path": "/teapot", "status": 418, "body": "short and stout"})",
        R"({"path": "/proxyauth", "status": 407, "body": "who are you"})",
        R"({"path": "/gateway", "status": 502, "body": "bad gateway"})",
        R"({"path": "/r1", "redirect": "{base}/r2"})",
        R"({"path": "/r2", "status": 301, "redirect": "/r3"})",
        R"({"path": "/r3", "status": 307, "redirect": "{base}/len"})",
        R"({"path": "/tofile", "redirect": "file:///etc/hostname"})",
        R"({"path": "/loop", "redirect": "/loop"})",
        R"({"path": "/toftp", "redirect": "ftp://127.0.0.1/x"})",
        R"({"path": "/todata", "redirect": "data:text/plain,hello"})",
        R"({"path": "/cut", "bodySize": 200000, "cutAfter": 70000})",
        R"({"path": "/short", "bodySize": 1000, "contentLength": 500000, "close": true})",
        R"({"path": "/stallbody", "bodySize": 200000, "stallAfter": 1000})",
        R"({"path": "/stallhead", "stall": true})",
        R"({"path": "/drip", "bodySize": 400000, "dripBytes": 4096, "dripIntervalMs": 5})",
        R"({"path": "/big", "bodySize": 100000000})",
        R"({"path": "/text", "body": "  http://media.example/v.flv \r\n"})",
        R"({"path": "/blank", "body": " \r\n\t \r\n"})",
        R"({"path": "/nul", "body": "abc\u0000def"})",
        R"({"path": "/textchunked", "body": "chunked answer", "chunked": true, "chunkSize": 3})",
        R"({"path": "/long", "bodySize": 2097152})",
        R"({"path": "/textcut", "body": "http://host/a-long-link", "cutAfter": 5})",
        R"({"path": "/cutchunked", "bodySize": 200000, "chunked": true, "cutAfter": 50000})",
        R"({"path": "/nocontent", "status": 204, "contentLength": false})",
        R"({"path": "/emptybody", "body": ""})",
        R"({"path": "/partial", "status": 206, "bodySize": 1000})",
        R"({"path": "/nowhere", "status": 302, "body": "moved"})",
        R"({"path": "/twolengths", "bodySize": 1000, "contentLength": [1000, 2000]})",
        R"({"path": "/samelengths", "bodySize": 1000, "contentLength": [1000, 1000]})",
    };
    for (const QByteArray& r : routes)
        m_server.AddRoute(r);
    m_server.AddRoute(QJsonObject{{"path", "/exact"}, {"bodyFile", exact.fileName()}});
    QVERIFY2(m_server.Start(), qPrintable(m_server.ErrorString()));
    m_unreachable =
        QStringLiteral("http://127.0.0.1:%1/x").arg(TTestHttpServer::ClosedPort()).toStdString();
}

QList<TTestHttpRequest> GetInetFileTest::RequestsFor(const QByteArray& path) const
{
    QList<TTestHttpRequest> found;
    for (const TTestHttpRequest& r : m_server.Requests()) {
        if (r.Path == path)
            found << r;
    }
    return found;
}

void GetInetFileTest::progressPercent_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<int>("percent");
    QTest::newRow("nothing yet") << 0LL << 100LL << 0;
    QTest::newRow("half rounds to even 0") << 1LL << 200LL << 0;
    QTest::newRow("1.5 rounds to 2") << 3LL << 200LL << 2;
    QTest::newRow("2.5 rounds to 2") << 5LL << 200LL << 2;
    QTest::newRow("3.5 rounds to 4") << 7LL << 200LL << 4;
    QTest::newRow("just above a half") << 501LL << 1000LL << 50;
    QTest::newRow("99.5 capped") << 199LL << 200LL << 99;
    QTest::newRow("all of it") << 200LL << 200LL << 99;
    QTest::newRow("more than announced") << 5000LL << 200LL << 99;
    QTest::newRow("past 32-bit product") << 42949673LL << 100000000LL << 43;
    QTest::newRow("beyond 4 GiB") << (1LL << 40) << (1LL << 41) << 50;
    QTest::newRow("unknown size") << 100LL << 0LL << 0;
}

void GetInetFileTest::progressPercent()
{
    QFETCH(qint64, received);
    QFETCH(qint64, expected);
    QFETCH(int, percent);
    QCOMPARE(TGetInetFile::ProgressPercent(received, expected), percent);
}

void GetInetFileTest::fetchableUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("fetchable");
    QTest::newRow("http") << "http://127.0.0.1/x?a=1&b=%zz" << true;
    QTest::newRow("https") << "https://example.org/" << true;
    QTest::newRow("upper-case scheme") << "HTTP://example.org/" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("ftp") << "ftp://example.org/a.flv" << false;
    QTest::newRow("data") << "data:text/plain,abc" << false;
    QTest::newRow("qrc") << "qrc:/icon.png" << false;
    QTest::newRow("bare word") << "Error" << false;
    QTest::newRow("local path") << "/etc/passwd" << false;
    QTest::newRow("no host") << "http://" << false;
    QTest::newRow("empty") << "" << false;
}

void GetInetFileTest::fetchableUrl()
{
    QFETCH(QString, url);
    QFETCH(bool, fetchable);
    QCOMPARE(TGetInetFile::IsFetchableUrl(url.toStdString()), fetchable);
}

void GetInetFileTest::urlSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("size");
    QTest::newRow("true length") << "/len" << 12345LL;
    QTest::newRow("chunked: unknown") << "/chunked" << 0LL;
    QTest::newRow("no length: unknown") << "/nolength" << 0LL;
    QTest::newRow("3 GiB is a size") << "/huge" << Huge;
    QTest::newRow("error page's length") << "/missing" << 8LL;
    QTest::newRow("after three redirects") << "/r1" << 12345LL;
    QTest::newRow("redirect to file:") << "/tofile" << 0LL;
    QTest::newRow("redirect to ftp:") << "/toftp" << 0LL;
    QTest::newRow("silent server") << "/stallhead" << 0LL;
    QTest::newRow("two lengths") << "/twolengths" << 0LL;
    QTest::newRow("unreachable") << "" << 0LL;
}

void GetInetFileTest::urlSize()
{
    QFETCH(QString, path);
    QFETCH(qint64, size);
    TRecordingHost host;
    TMessageRecorder boxes;
    TGetInetFile inet(host);
    const std::string url = path.isEmpty() ? m_unreachable : Url(qPrintable(path));
    QCOMPARE(inet.GetUrlSize(url), size);
    QCOMPARE(boxes.Texts(), QStringList());
    if (!path.isEmpty()) {
        const QList<TTestHttpRequest> requests = RequestsFor(path.toLatin1());
        QVERIFY(!requests.isEmpty());
        QCOMPARE(requests.last().Header("User-Agent"), QByteArray("GetUrlSize"));
    }
}

void GetInetFileTest::sizeQueryAbandonsBody()
{
    TRecordingHost host;
    TGetInetFile inet(host);
    const qint64 before = m_server.Requests().size();
    QCOMPARE(inet.GetUrlSize(Url("/huge")), Huge);
    const qint64 number = m_server.Requests().at(before).Number;
    // The server learns that nobody reads the body.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const TTestHttpAnswer& a : m_server.Answers()) {
                if (a.Number == number)
                    return !a.Complete && a.BodyBytesSent < Huge;
            }
            return false;
        }(),
        10000);
}

void GetInetFileTest::downloadToFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("fileSize");  // -1: no file at all
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("reason");  // a part of the failure's reason

    const QStringList none;
    const QStringList internet{Internet};
    QTest::newRow("with length") << "/len" << 12345LL << none << false << "";
    QTest::newRow("chunked") << "/chunked" << 300000LL << none << true << "";
    QTest::newRow("ends with the connection") << "/nolength" << 50000LL << none << true << "";
    QTest::newRow("redirect chain") << "/r1" << 12345LL << none << false << "";
    QTest::newRow("one length said twice") << "/samelengths" << 1000LL << none << false << "";
    QTest::newRow("error status saves nothing")
        << "/missing" << -1LL << none << false << "answered 404 Not Found";
    QTest::newRow("204") << "/nocontent" << -1LL << none << false << "204 No Content";
    QTest::newRow("empty body") << "/emptybody" << -1LL << none << false << "empty file";
    QTest::newRow("206 unasked") << "/partial" << -1LL << none << false << "206 Partial Content";
    QTest::newRow("3xx without Location") << "/nowhere" << -1LL << none << false << "302 Found";
    QTest::newRow("two lengths") << "/twolengths" << -1LL << none << false << "disagreeing lengths";
    QTest::newRow("cut connection") << "/cut" << -1LL << internet << false << "broke off";
    QTest::newRow("chunked, cut before the last chunk")
        << "/cutchunked" << -1LL << internet << true << "broke off";
    QTest::newRow("shorter than its length")
        << "/short" << -1LL << internet << false << "broke off after 1000 bytes";
    QTest::newRow("stalls in the body")
        << "/stallbody" << -1LL << internet << false
        << "stopped sending after 1000 bytes (nothing arrived for 1.5 s)";
    QTest::newRow("never answers")
        << "/stallhead" << -1LL << internet << false << "did not answer within 1.5 s";
    QTest::newRow("redirect to file:")
        << "/tofile" << -1LL << internet << false << "not http or https: file:///etc/hostname";
    QTest::newRow("redirect to ftp:") << "/toftp" << -1LL << internet << false << "ftp:";
    QTest::newRow("redirect to data:") << "/todata" << -1LL << internet << false << "data:";
    QTest::newRow("redirect loop")
        << "/loop" << -1LL << internet << false << "more than 20 redirects";
    QTest::newRow("unreachable") << "" << -1LL << internet << false << "refused the connection";
}

void GetInetFileTest::downloadToFile()
{
    QFETCH(QString, path);
    QFETCH(qint64, fileSize);
    QFETCH(QStringList, boxes);
    QFETCH(bool, busy);
    QFETCH(QString, reason);

    QTemporaryDir folder;
    const QString target = folder.filePath("1234567.flv");
    TRecordingHost host;
    TMessageRecorder recorder;
    const std::string url = path.isEmpty() ? m_unreachable : Url(qPrintable(path));
    bool ok = false;
    std::string failure;
    {
        TGetInetFile inet(host);
        ok = inet.DownloadToFile(url, target.toStdString(), inet.GetUrlSize(url));
        failure = inet.FailureReason();
    }
    QCOMPARE(recorder.Texts(), boxes);
    QCOMPARE(ok, fileSize >= 0);
    QVERIFY2(reason.isEmpty() ? failure.empty() : QString::fromStdString(failure).contains(reason),
             failure.c_str());
    if (fileSize < 0) {
        QCOMPARE(FolderEntries(folder.path()), QStringList());
        return;
    }
    // The window hears of the bytes as they come, ending with all of them.
    QVERIFY(!host.Transferred.empty());
    const std::pair<std::int64_t, std::int64_t> all{fileSize, busy ? -1 : fileSize};
    QCOMPARE(host.Transferred.back(), all);
    QVERIFY(std::is_sorted(host.Transferred.begin(), host.Transferred.end()));
    QCOMPARE(FolderEntries(folder.path()), QStringList{"1234567.flv"});
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), fileSize);
    QVERIFY(TTestHttpServer::IsGeneratedBody(bytes));
    // A busy bar exactly while the size is unknown, and no false percent.
    const std::vector<bool> expectedBusy =
        busy ? std::vector<bool>{true, false} : std::vector<bool>{};
    QCOMPARE(host.Busy, expectedBusy);
    if (busy)
        QCOMPARE(host.Progress, std::vector<int>{});
    else
        QCOMPARE(host.Progress.back(), 99);
}

void GetInetFileTest::headLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("conflict");
    QTest::addColumn<bool>("complete");

    QTest::newRow("plain") << QStringList{"HTTP/1.1 200 OK", "Content-Length: 12", ""} << 200
                           << 12LL << false << true;
    QTest::newRow("same length twice")
        << QStringList{"HTTP/1.1 200 OK", "content-length: 12", "Content-Length:12", ""} << 200
        << 12LL << false << true;
    QTest::newRow("same length in a list")
        << QStringList{"HTTP/1.1 200 OK", "Content-Length: 12, 12", ""} << 200 << 12LL << false
        << true;
    QTest::newRow("two lengths") << QStringList{"HTTP/1.1 200 OK", "Content-Length: 12",
                                                "Content-Length: 13", ""}
                                 << 200 << 12LL << true << true;
    QTest::newRow("two lengths in a list")
        << QStringList{"HTTP/1.1 200 OK", "Content-Length: 12, 13", ""} << 200 << 12LL << true
        << true;
    QTest::newRow("a length that is no number")
        << QStringList{"HTTP/1.1 200 OK", "Content-Length: 12x", ""} << 200 << -1LL << true << true;
    QTest::newRow("negative length")
        << QStringList{"HTTP/1.1 200 OK", "Content-Length: -5", ""} << 200 << -1LL << true << true;
    QTest::newRow("beyond 4 GiB") << QStringList{"HTTP/1.1 200 OK", "Content-Length: 5000000000",
                                                 ""}
                                  << 200 << 5000000000LL << false << true;
    QTest::newRow("chunked overrides a length")
        << QStringList{"HTTP/1.1 200 OK", "Content-Length: 12", "Transfer-Encoding: chunked", ""}
        << 200 << -1LL << false << true;
    QTest::newRow("interim answer forgotten")
        << QStringList{"HTTP/1.1 100 Continue", "Content-Length: 3", "",
                       "HTTP/1.1 200 OK",       "Content-Length: 9", ""}
        << 200 << 9LL << false << true;
    QTest::newRow("interim answer is no head")
        << QStringList{"HTTP/1.1 103 Early Hints", "Link: </a>", ""} << 103 << -1LL << false
        << false;
    QTest::newRow("HTTP/2 status line")
        << QStringList{"HTTP/2 204", ""} << 204 << -1LL << false << true;
}

void GetInetFileTest::headLines()
{
    QFETCH(QStringList, lines);
    QFETCH(int, status);
    QFETCH(qint64, length);
    QFETCH(bool, conflict);
    QFETCH(bool, complete);
    THttpHead head;
    for (const QString& line : lines)
        head.AddLine((line + "\r\n").toStdString());
    QCOMPARE(head.Status, status);
    QCOMPARE(head.ContentLength, length);
    QCOMPARE(head.LengthConflict, conflict);
    QCOMPARE(head.Complete, complete);
}

void GetInetFileTest::cutChunkedBodyIsNeverSaved()
{
    // A chunked body cut off at a chunk's end looks complete to a reader that
    // does not wait for the last chunk; every try must see it as broken.
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/edge", "bodySize": 200000, "chunked": true, "cutAfter": 49152})");
    server.AddRoute(R"({"path": "/mid", "bodySize": 200000, "chunked": true, "chunkSize": 1000,
                        "cutAfter": 50000})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    QTemporaryDir folder;
    TMessageRecorder recorder;
    for (int attempt = 0; attempt < 10; ++attempt) {
        for (const char* path : {"/edge", "/mid"}) {
            TRecordingHost host;
            TGetInetFile inet(host);
            QVERIFY2(!inet.DownloadToFile(server.Url(path).toStdString(),
                                          folder.filePath("a.flv").toStdString(), 0),
                     path);
            QCOMPARE(FolderEntries(folder.path()), QStringList());
        }
    }
    QCOMPARE(recorder.Texts().size(), 20);
}

void GetInetFileTest::fullDiskLeavesNothing()
{
    QTemporaryDir folder;
    const QByteArray mountPoint = QFile::encodeName(folder.path());
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("a small file system cannot be mounted here");
    TRecordingHost host;
    TMessageRecorder recorder;
    bool smallSaved = false;
    bool bigSaved = true;
    std::string failure;
    QStringList left;
    {
        TGetInetFile inet(host);
        smallSaved = inet.DownloadToFile(Url("/len"), folder.filePath("a.flv").toStdString(), 0);
        bigSaved = inet.DownloadToFile(Url("/big"), folder.filePath("b.flv").toStdString(), 0);
        failure = inet.FailureReason();
        left = FolderEntries(folder.path());
    }
    ::umount(mountPoint.constData());
    // The small file fits; the big one fails naming the file and the reason.
    QVERIFY(smallSaved);
    QVERIFY(!bigSaved);
    QVERIFY2(QString::fromStdString(failure).contains("No space left on device"), failure.c_str());
    QVERIFY2(QString::fromStdString(failure).contains(folder.path()), failure.c_str());
    QCOMPARE(left, QStringList{"a.flv"});
    QCOMPARE(recorder.Texts(), QStringList());
}

void GetInetFileTest::largeDownloadRisesWithoutFallingBack()
{
    QTemporaryDir folder;
    const QString target = folder.filePath("big.flv");
    TRecordingHost host;
    TMessageRecorder recorder;
    TGetInetFile inet(host);
    const qint64 size = inet.GetUrlSize(Url("/big"));
    QCOMPARE(size, 100000000LL);
    QVERIFY(inet.DownloadToFile(Url("/big"), target.toStdString(), size));
    QCOMPARE(QFileInfo(target).size(), size);
    QVERIFY(!host.Progress.empty());
    QVERIFY(std::is_sorted(host.Progress.begin(), host.Progress.end()));
    QCOMPARE(host.Progress.back(), 99);
    // A rising bar, not one that jumps: most of the percents appear.
    QVERIFY2(host.Progress.size() >= 90, qPrintable(QString::number(host.Progress.size())));
    QCOMPARE(recorder.Texts(), QStringList());
}

void GetInetFileTest::moreBytesThanExpectedKeepBarAt99()
{
    QTemporaryDir folder;
    TRecordingHost host;
    TGetInetFile inet(host);
    QVERIFY(inet.DownloadToFile(Url("/chunked"), folder.filePath("a.flv").toStdString(), 1000));
    QCOMPARE(host.Progress, std::vector<int>{99});
}

void GetInetFileTest::cancelDuringTransferLeavesNothing()
{
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    host.OnProgress = [](TRecordingHost& h) { h.Stop = true; };
    TGetInetFile inet(host);
    const qint64 before = m_server.Requests().size();
    QVERIFY(!inet.DownloadToFile(Url("/drip"), folder.filePath("a.flv").toStdString(), 400000));
    QCOMPARE(host.Progress.size(), size_t(1));
    QCOMPARE(recorder.Texts(), QStringList());
    QCOMPARE(FolderEntries(folder.path()), QStringList());
    // The transfer really stopped: the server saw the client go.
    const qint64 number = m_server.Requests().at(before).Number;
    QTRY_VERIFY([&] {
        for (const TTestHttpAnswer& a : m_server.Answers()) {
            if (a.Number == number)
                return !a.Complete;
        }
        return false;
    }());
}

void GetInetFileTest::cancelOnFastLinkStopsWithinOneRead()
{
    // On loopback the socket always has more; Cancel must still be seen
    // before the next read, not megabytes later.
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    host.OnProgress = [](TRecordingHost& h) { h.Stop = h.Progress.back() >= 1; };
    TGetInetFile inet(host);
    QVERIFY(!inet.DownloadToFile(Url("/big"), folder.filePath("a.flv").toStdString(), 100000000));
    QCOMPARE(host.Progress.back(), 1);
    const qint64 received = host.Transferred.back().first;
    // 1 % is from 500,000 bytes on; one more read at most, and the one that
    // was being handed over.
    QVERIFY2(received < 500000 + 2 * TGetInetFile::ReadSize, qPrintable(QString::number(received)));
    QCOMPARE(FolderEntries(folder.path()), QStringList());
    QCOMPARE(recorder.Texts(), QStringList());
}

void GetInetFileTest::cancelBeforeStartSendsNothing()
{
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    host.Stop = true;
    TGetInetFile inet(host);
    const qint64 before = m_server.Requests().size();
    QVERIFY(!inet.DownloadToFile(Url("/len"), folder.filePath("a.flv").toStdString(), 12345));
    QCOMPARE(m_server.Requests().size(), before);
    QCOMPARE(FolderEntries(folder.path()), QStringList());
    QCOMPARE(recorder.Texts(), QStringList());
}

void GetInetFileTest::existingFileIsReplaced()
{
    QTemporaryDir folder;
    const QString target = folder.filePath("a.flv");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(20000, 'x'));
    old.close();
    TRecordingHost host;
    TGetInetFile inet(host);
    QVERIFY(inet.DownloadToFile(Url("/len"), target.toStdString(), 12345));
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray bytes = old.readAll();
    QCOMPARE(bytes.size(), 12345);
    QVERIFY(TTestHttpServer::IsGeneratedBody(bytes));
    QCOMPARE(FolderEntries(folder.path()), QStringList{"a.flv"});
}

void GetInetFileTest::missingFolderFailsWithoutBox()
{
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    TGetInetFile inet(host);
    const std::string target = folder.filePath("gone/a.flv").toStdString();
    QVERIFY(!inet.DownloadToFile(Url("/len"), target, 12345));
    QCOMPARE(recorder.Texts(), QStringList());
    QCOMPARE(FolderEntries(folder.path()), QStringList());
}

void GetInetFileTest::urlText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("trimmed link") << "/text" << true << QByteArray("http://media.example/v.flv")
                                  << QStringList();
    QTest::newRow("only blanks") << "/blank" << false << QByteArray() << QStringList();
    QTest::newRow("zero byte ends the chunk")
        << "/nul" << true << QByteArray("abc") << QStringList();
    QTest::newRow("chunked") << "/textchunked" << true << QByteArray("chunked answer")
                             << QStringList();
    QTest::newRow("error page is a body")
        << "/missing" << true << QByteArray("not here") << QStringList();
    QTest::newRow("400 page is a body")
        << "/badrequest" << true << QByteArray("error") << QStringList();
    QTest::newRow("418 page is a body")
        << "/teapot" << true << QByteArray("short and stout") << QStringList();
    QTest::newRow("407 page is a body")
        << "/proxyauth" << true << QByteArray("who are you") << QStringList();
    QTest::newRow("502 page is a body")
        << "/gateway" << true << QByteArray("bad gateway") << QStringList();
    QTest::newRow("exactly 1 MiB")
        << "/exact" << true << QByteArray(TGetInetFile::MaxTextSize, 'a') << QStringList();
    QTest::newRow("over 1 MiB") << "/long" << false << QByteArray() << QStringList();
    QTest::newRow("cut answer") << "/textcut" << false << QByteArray() << QStringList{Internet};
    QTest::newRow("cut chunked answer")
        << "/cutchunked" << false << QByteArray() << QStringList{Internet};
    QTest::newRow("two lengths") << "/twolengths" << false << QByteArray() << QStringList{Internet};
    QTest::newRow("never answers")
        << "/stallhead" << false << QByteArray() << QStringList{Internet};
    QTest::newRow("redirect to data:")
        << "/todata" << false << QByteArray() << QStringList{Internet};
    QTest::newRow("unreachable") << "" << false << QByteArray() << QStringList{Internet};
}

void GetInetFileTest::urlText()
{
    QFETCH(QString, path);
    QFETCH(bool, ok);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, boxes);

    TRecordingHost host;
    TMessageRecorder recorder;
    TGetInetFile inet(host);
    std::string answer = "left over";
    const std::string url = path.isEmpty() ? m_unreachable : Url(qPrintable(path));
    QCOMPARE(inet.GetUrlText(url, answer), ok);
    QCOMPARE(QByteArray::fromStdString(answer), text);
    QCOMPARE(recorder.Texts(), boxes);
    if (!path.isEmpty()) {
        const TTestHttpRequest request = RequestsFor(path.toLatin1()).last();
        QCOMPARE(request.Header("User-Agent"),
                 QByteArray("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)"));
        // The answer comes as the server has it, never packed on the way.
        QCOMPARE(request.Header("Accept-Encoding"), QByteArray("identity"));
    }
}

void GetInetFileTest::proxyFromEnvironment_data()
{
    QTest::addColumn<bool>("bypass");
    QTest::newRow("through the proxy") << false;
    QTest::newRow("no_proxy goes direct") << true;
}

void GetInetFileTest::proxyFromEnvironment()
{
    QFETCH(bool, bypass);
    // The test server plays the proxy: it answers the absolute link it is asked for.
    TTestHttpServer proxy;
    proxy.AddRoute(R"({"target": "http://media.invalid/clip.flv", "bodySize": 4321})");
    QVERIFY2(proxy.Start(), qPrintable(proxy.ErrorString()));
    const QByteArray closed =
        QByteArray("http://127.0.0.1:") + QByteArray::number(TTestHttpServer::ClosedPort());
    TEnvOverride httpProxy("http_proxy", bypass ? closed : proxy.BaseUrl().toLatin1());
    TEnvOverride noProxy("no_proxy", bypass ? QByteArray("127.0.0.1") : QByteArray());
    const std::string url = bypass ? Url("/len") : "http://media.invalid/clip.flv";
    QTemporaryDir folder;
    TRecordingHost host;
    TMessageRecorder recorder;
    TGetInetFile inet(host);
    QVERIFY(inet.DownloadToFile(url, folder.filePath("a.flv").toStdString(), 0));
    QCOMPARE(QFileInfo(folder.filePath("a.flv")).size(), bypass ? 12345 : 4321);
    QCOMPARE(proxy.Requests().size(), bypass ? 0 : 1);
}

// A server that packs the body although the client asked for it as it is:
// the file holds the media, never the packed bytes, or nothing at all.
void GetInetFileTest::packedBodyIsSavedUnpacked_data()
{
    QTest::addColumn<QByteArray>("coding");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<bool>("unpacked");
    QTest::addColumn<bool>("saved");
    QTest::newRow("gzip with its length") << QByteArray("gzip") << false << false << true;
    QTest::newRow("gzip, chunked") << QByteArray("gzip") << true << false << true;
    QTest::newRow("deflate") << QByteArray("deflate") << false << false << true;
    QTest::newRow("a coding nobody knows") << QByteArray("x-squeeze") << false << false << false;
    QTest::newRow("said to be gzip, but not packed")
        << QByteArray("gzip") << false << true << false;
}

void GetInetFileTest::packedBodyIsSavedUnpacked()
{
    QFETCH(QByteArray, coding);
    QFETCH(bool, chunked);
    QFETCH(bool, unpacked);
    QFETCH(bool, saved);

    const QByteArray media = TTestHttpServer::GeneratedBody(0, 400000);
    QByteArray packed;
    if (unpacked) {
        packed = media;
    } else if (coding == "gzip") {
        packed = Gzipped(media);
    } else {
        packed = qCompress(media).mid(4);  // a zlib stream, as "deflate" sends it
    }
    QVERIFY(packed.size() > 100 && packed.size() <= media.size());
    QTemporaryDir files;
    QFile body(files.filePath("body"));
    QVERIFY(body.open(QIODevice::WriteOnly) && body.write(packed) == packed.size());
    body.close();
    TTestHttpServer server;
    server.AddRoute(QJsonObject{{"path", "/packed.mp4"},
                                {"contentType", "video/mp4"},
                                {"headers", QJsonObject{{"Content-Encoding", QString(coding)}}},
                                {"chunked", chunked},
                                {"bodyFile", body.fileName()}});
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));

    QTemporaryDir folder;
    const QString target = folder.filePath("1234567.mp4");
    TRecordingHost host;
    TMessageRecorder recorder;
    const std::string url = server.Url("/packed.mp4").toStdString();
    bool ok = false;
    std::string failure;
    {
        TGetInetFile inet(host);
        ok = inet.DownloadToFile(url, target.toStdString(), inet.GetUrlSize(url));
        failure = inet.FailureReason();
    }
    QCOMPARE(server.Requests().back().Header("Accept-Encoding"), QByteArray("identity"));
    QCOMPARE(ok, saved);
    // Not a connection problem either way.
    QCOMPARE(recorder.Texts(), QStringList());
    if (!saved) {
        QVERIFY2(QString::fromStdString(failure).contains("cannot be undone"), failure.c_str());
        QCOMPARE(FolderEntries(folder.path()), QStringList());
        return;
    }
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == media);
    // The bar counts the bytes that came, which is what the length counts.
    const std::pair<std::int64_t, std::int64_t> all{packed.size(), chunked ? -1 : packed.size()};
    QCOMPARE(host.Transferred.back(), all);
}

QTEST_GUILESS_MAIN(GetInetFileTest)
#include "tst_GetInetFile.moc"
