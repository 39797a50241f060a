// Stream links: HLS and DASH links (typed, or found on a page) and registered
// video + audio pairs served as one remuxed file by the resolver, checked
// with ffprobe; what the endpoint refuses; how a stream that breaks off ends.
// The resolver runs in this process (so the test can register streams and
// shorten lifetimes), except for the download through the main window, which
// talks to a resolver process as the program does.

#include "ResolverProcess.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "download/DownloadThreadUnit.h"
#include "services/resolver/ResolverServer.h"
#include "services/resolver/remux/StreamContainer.h"
#include "services/resolver/remux/StreamInput.h"
#include "services/resolver/stream/StreamLinks.h"
#include "services/resolver/stream/StreamPipe.h"
#include "services/resolver/stream/StreamRegistry.h"
#include "services/resolver/stream/StreamServing.h"

#include <QDir>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

constexpr double MediaSeconds = 6.0;
constexpr int StallLimitMs = 1000;

// One GET on a raw connection, read as it arrives: the status, the body
// (chunks decoded) and whether the body really ended (the final chunk, or
// the whole Content-Length), which a client library may not tell apart from
// a connection that closed early.
class TRawGet : public QObject
{
public:
    explicit TRawGet(const QUrl& url, bool readBody = true) : m_readBody(readBody)
    {
        connect(&m_socket, &QTcpSocket::connected, this, [this, url] {
            m_socket.write("GET " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
                           " HTTP/1.1\r\nHost: " + url.authority().toLatin1() + "\r\n\r\n");
        });
        connect(&m_socket, &QTcpSocket::readyRead, this, &TRawGet::Read);
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] { Closed = true; });
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] { Closed = true; });
        m_socket.connectToHost(url.host(), static_cast<quint16>(url.port()));
    }

    bool Done() const { return Complete || Closed || (!m_readBody && Status != 0); }
    void Drop() { m_socket.abort(); }

    int Status = 0;
    QByteArray ContentType;
    QByteArray Body;
    bool Complete = false;
    bool Closed = false;

private:
    void Read()
    {
        m_buffer += m_socket.readAll();
        if (Status == 0) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = m_buffer.left(end).split('\n');
            Status = lines.value(0).split(' ').value(1).toInt();
            for (const QByteArray& line : lines) {
                const QByteArray lower = line.trimmed().toLower();
                if (lower == "transfer-encoding: chunked")
                    m_chunked = true;
                else if (lower.startsWith("content-length:"))
                    m_length = lower.mid(15).trimmed().toLongLong();
                else if (lower.startsWith("content-type:"))
                    ContentType = line.mid(13).trimmed();
            }
            m_buffer.remove(0, end + 4);
        }
        if (!m_chunked) {
            Body += m_buffer;
            m_buffer.clear();
            Complete = m_length >= 0 && Body.size() >= m_length;
            return;
        }
        for (;;) {
            const qsizetype lineEnd = m_buffer.indexOf("\r\n");
            if (lineEnd < 0)
                return;
            bool ok = false;
            const qint64 size = m_buffer.left(lineEnd).toLongLong(&ok, 16);
            if (!ok || m_buffer.size() < lineEnd + 2 + size + 2)
                return;
            if (size == 0) {
                Complete = true;
                return;
            }
            Body += m_buffer.mid(lineEnd + 2, size);
            m_buffer.remove(0, lineEnd + 2 + size + 2);
        }
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    bool m_readBody;
    bool m_chunked = false;
    qint64 m_length = -1;
};

QString ContentTypeOf(const QString& name)
{
    if (name.endsWith(".m3u8"))
        return "application/vnd.apple.mpegurl";
    if (name.endsWith(".mpd"))
        return "application/dash+xml";
    if (name.endsWith(".ts"))
        return "video/mp2t";
    if (name.endsWith(".mp3"))
        return "audio/mpeg";
    return "video/mp4";
}

// An HLS playlist of the given segment links, 2 s each.
QString Playlist(const QStringList& segments)
{
    QString text =
        "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n"
        "#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (const QString& segment : segments)
        text += "#EXTINF:2.0,\n" + segment + "\n";
    return text + "#EXT-X-ENDLIST\n";
}

// The container name and the duration in seconds ffprobe gives for PATH.
QString FormatOf(const QString& path)
{
    return Probe(path).value("format").toObject().value("format_name").toString();
}

double SecondsOf(const QString& path)
{
    return Probe(path).value("format").toObject().value("duration").toString().toDouble();
}

const QRegularExpression StreamLinkPattern(
    "^http://127\\.0\\.0\\.1:\\d+/get-url/stream/[0-9a-f]{32}\\.flv$");

}  // namespace

class TResolverStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void StreamResponses_data();
    void StreamResponses();
    void Containers_data();
    void Containers();
    void FetchRules_data();
    void FetchRules();
    void TokensAreRandomAndNamed();
    void PipeHoldsItsBound();

    void StreamLinkServesOneFile_data();
    void StreamLinkServesOneFile();
    void FileOnPageBeatsStream();
    void RegisteredPairServesOneFile_data();
    void RegisteredPairServesOneFile();
    void TokenRefused_data();
    void TokenRefused();
    void BrokenSegmentEndsWithoutLastChunk_data();
    void BrokenSegmentEndsWithoutLastChunk();
    void LocalFilesRefused_data();
    void LocalFilesRefused();
    void AskerGoneStopsTheRemux();
    void StalledSourceEndsTheStream_data();
    void StalledSourceEndsTheStream();
    void WindowSavesPageStream_data();
    void WindowSavesPageStream();
    void WindowSavesVideoAudioPair();

private:
    void ServeFolder(const QString& folder, const QString& prefix);
    std::unique_ptr<TRawGet> Get(const QByteArray& link, bool readBody = true);
    QByteArray Resolve(const QString& link);
    QString SaveBody(const QByteArray& body, const QString& name);

    QTemporaryDir m_media;
    TTestHttpServer m_web;
    TResolverProcess m_process;
    std::unique_ptr<TResolverServer> m_resolver;
    QByteArray m_base;
};

void TResolverStreamTest::ServeFolder(const QString& folder, const QString& prefix)
{
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        m_web.AddRoute(QJsonObject{{"path", prefix + name},
                                   {"contentType", ContentTypeOf(name)},
                                   {"bodyFile", folder + "/" + name}});
    }
}

void TResolverStreamTest::initTestCase()
{
    QVERIFY(m_media.isValid());
    const QString dir = m_media.path();
    const QStringList av = {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:d=6",
                            "-f", "lavfi", "-i", "sine=frequency=440:duration=6"};
    const QStringList h264 = {"-c:v", "libx264", "-preset", "ultrafast", "-g", "25"};
    QVERIFY(QDir().mkpath(dir + "/hls") && QDir().mkpath(dir + "/dash") &&
            QDir().mkpath(dir + "/pair"));
    QVERIFY(MakeMedia(av + h264 +
                      QStringList{"-c:a", "aac", "-f", "hls", "-hls_time", "2",
                                  "-hls_playlist_type", "vod", dir + "/hls/index.m3u8"}));
    QVERIFY(MakeMedia(av + h264 + QStringList{"-c:a", "aac", "-f", "dash", dir + "/dash/m.mpd"}));
    // The index first: testhttpd answers no ranges, so nothing may need a seek.
    const QStringList faststart = {"-movflags", "+faststart"};
    QVERIFY(MakeMedia(av + h264 + faststart + QStringList{"-an", dir + "/pair/video.mp4"}));
    QVERIFY(MakeMedia(av + faststart + QStringList{"-vn", "-c:a", "aac", dir + "/pair/audio.m4a"}));
    QVERIFY(MakeMedia(av + faststart +
                      QStringList{"-c:v", "mpeg4", "-an", dir + "/pair/video-mpeg4.mp4"}));
    QVERIFY(MakeMedia(av + QStringList{"-vn", "-c:a", "libmp3lame", dir + "/pair/audio.mp3"}));
    ServeFolder(dir + "/hls", "/hls/");
    ServeFolder(dir + "/dash", "/dash/");
    ServeFolder(dir + "/pair", "/pair/");

    const QString segment = dir + "/hls/index";
    // The second segment breaks off, with or without a length; or is missing.
    m_web.AddRoute(QJsonObject{{"path", "/cut/1.ts"},
                               {"contentType", "video/mp2t"},
                               {"bodyFile", segment + "1.ts"},
                               {"cutAfter", 20000}});
    m_web.AddRoute(QJsonObject{{"path", "/cut/1-chunked.ts"},
                               {"contentType", "video/mp2t"},
                               {"bodyFile", segment + "1.ts"},
                               {"chunked", true},
                               {"cutAfter", 20000}});
    for (const auto& [name, second] :
         {std::pair{"cut", "1.ts"}, std::pair{"cut-chunked", "1-chunked.ts"},
          std::pair{"missing", "gone.ts"}}) {
        m_web.AddRoute(QJsonObject{
            {"path", QString("/cut/%1.m3u8").arg(name)},
            {"contentType", "application/vnd.apple.mpegurl"},
            {"body", Playlist({"/hls/index0.ts", QString("/cut/") + second, "/hls/index2.ts"})}});
    }
    // A segment that comes slowly: 2 kB every 20 ms.
    m_web.AddRoute(QJsonObject{{"path", "/slow/0.ts"},
                               {"contentType", "video/mp2t"},
                               {"bodyFile", segment + "0.ts"},
                               {"dripBytes", 2000},
                               {"dripIntervalMs", 20}});
    m_web.AddRoute(QJsonObject{{"path", "/slow/index.m3u8"},
                               {"contentType", "application/vnd.apple.mpegurl"},
                               {"body", Playlist({"/slow/0.ts", "/slow/0.ts", "/slow/0.ts"})}});
    // A source that stops sending: at once, or inside the second segment.
    m_web.AddRoute(QJsonObject{{"path", "/stall/never.ts"}, {"stall", true}});
    m_web.AddRoute(QJsonObject{{"path", "/stall/1.ts"},
                               {"contentType", "video/mp2t"},
                               {"bodyFile", segment + "1.ts"},
                               {"stallAfter", 20000}});
    m_web.AddRoute(QJsonObject{{"path", "/stall/first.m3u8"},
                               {"contentType", "application/vnd.apple.mpegurl"},
                               {"body", Playlist({"/stall/never.ts", "/hls/index1.ts"})}});
    m_web.AddRoute(QJsonObject{{"path", "/stall/second.m3u8"},
                               {"contentType", "application/vnd.apple.mpegurl"},
                               {"body", Playlist({"/hls/index0.ts", "/stall/1.ts"})}});
    // Playlists that name files of this machine.
    m_web.AddRoute(QJsonObject{{"path", "/local/passwd.m3u8"},
                               {"contentType", "application/vnd.apple.mpegurl"},
                               {"body", Playlist({"file:///etc/passwd"})}});
    m_web.AddRoute(QJsonObject{{"path", "/local/segment.m3u8"},
                               {"contentType", "application/vnd.apple.mpegurl"},
                               {"body", Playlist({"file://" + segment + "0.ts"})}});
    m_web.AddRoute(QJsonObject{{"path", "/local/redirect.m3u8"},
                               {"contentType", "application/vnd.apple.mpegurl"},
                               {"body", Playlist({"/local/to-file.ts"})}});
    m_web.AddRoute(
        QJsonObject{{"path", "/local/to-file.ts"}, {"redirect", "file://" + segment + "0.ts"}});
    QFile manifest(dir + "/dash/m.mpd");
    QVERIFY(manifest.open(QIODevice::ReadOnly));
    m_web.AddRoute(QJsonObject{
        {"path", "/local/base.mpd"},
        {"contentType", "application/dash+xml"},
        {"body", QString::fromUtf8(manifest.readAll())
                     .replace("<Period", "<BaseURL>file://" + dir + "/dash/</BaseURL><Period")}});
    // Pages whose only media is a stream, and one that also has a file.
    const auto page = [this](const QString& path, const QString& html) {
        m_web.AddRoute(QJsonObject{{"path", path}, {"contentType", "text/html"}, {"body", html}});
    };
    page("/page/hls",
         "<video><source src='/hls/index.m3u8' type='application/x-mpegURL'>"
         "<source src='/gone.mp4' type='video/mp4'></video>");
    page("/page/dash", "<video src='../dash/m.mpd'></video>");
    // Players that only their scripts set up.
    page("/page/hlsjs",
         "<video id='v'></video><script src='/hls.min.js'></script><script>"
         "if (Hls.isSupported()) { var hls = new Hls(); hls.loadSource('../hls/index.m3u8');"
         " hls.attachMedia(document.getElementById('v')); }</script>");
    page("/page/dashjs",
         "<head><base href='/dash/'></head><video id='v'></video><script>"
         "var player = dashjs.MediaPlayer().create();"
         " player.initialize(document.querySelector('#v'), \"m.mpd\", true);</script>");
    page("/page/both",
         "<video><source src='/hls/index.m3u8' type='application/x-mpegURL'>"
         "<source src='/pair/video.mp4' type='video/mp4'></video>");
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));

    // Links are resolved by the service's own process (its page parser is a
    // child of that executable); registered streams are served in here.
    QVERIFY(m_process.Start({"--listen", "127.0.0.1:0"}));
    // A short time-out without data, so a stalled source ends quickly.
    TResolverLimits limits;
    limits.FetchIdleTimeoutMs = StallLimitMs;
    m_resolver = std::make_unique<TResolverServer>(limits);
    const quint16 port = m_resolver->Listen(QHostAddress::LocalHost, 0);
    QVERIFY(port != 0);
    m_base = "http://127.0.0.1:" + QByteArray::number(port);
    QCOMPARE(TStreamRegistry::Instance().BaseAddress(), m_base);
}

void TResolverStreamTest::cleanup()
{
    TStreamRegistry::Instance().SetLifetime(std::chrono::minutes(5));
    TStreamRegistry::Instance().SetGrace(std::chrono::seconds(10));
}

std::unique_ptr<TRawGet> TResolverStreamTest::Get(const QByteArray& link, bool readBody)
{
    auto get = std::make_unique<TRawGet>(QUrl::fromEncoded(link), readBody);
    if (!QTest::qWaitFor([&] { return get->Done(); }, 60000))
        qWarning() << "no answer from" << link;
    return get;
}

QByteArray TResolverStreamTest::Resolve(const QString& link)
{
    return Get(m_process.Base() + "/get-url/index/link/?link=" + link.toUtf8())->Body;
}

QString TResolverStreamTest::SaveBody(const QByteArray& body, const QString& name)
{
    const QString path = m_media.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
        return {};
    return path;
}

void TResolverStreamTest::StreamResponses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("stream");

    const auto row = [](const char* type, const char* url, bool stream, int status = 200) {
        QTest::newRow(QByteArray(QByteArray::number(status) + " " + type + " " + url).constData())
            << status << QByteArray(type) << QString(url) << stream;
    };
    row("application/vnd.apple.mpegurl", "http://h/a", true);
    row("Application/X-MpegURL; charset=utf-8", "http://h/a", true);
    row("audio/mpegurl", "http://h/a.m3u8", true);
    row("application/dash+xml", "http://h/a", true);
    row("", "http://h/live/INDEX.M3U8?t=1", true);
    row("application/octet-stream", "http://h/m.mpd", true);
    row("text/plain", "http://h/m.m3u8", true);
    // A plain M3U list of files, pages and files are not streams.
    row("audio/x-mpegurl", "http://h/list.m3u8", false);
    row("text/html", "http://h/watch.m3u8", false);
    row("video/mp4", "http://h/a.mp4", false);
    row("application/octet-stream", "http://h/a.m3u8.mp4", false);
    // Only a successful answer is a stream.
    row("application/vnd.apple.mpegurl", "http://h/a.m3u8", false, 404);
    row("application/dash+xml", "http://h/a.mpd", true, 203);
}

void TResolverStreamTest::StreamResponses()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, url);
    QFETCH(bool, stream);
    QCOMPARE(IsStreamResponse(status, contentType, QUrl(url)), stream);
}

void TResolverStreamTest::Containers_data()
{
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio");
    QTest::addColumn<QByteArray>("muxer");

    const auto row = [](const char* name, AVCodecID video, AVCodecID audio, const char* muxer) {
        QTest::newRow(name) << int(video) << int(audio) << QByteArray(muxer);
    };
    row("h264 + aac", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, "flv");
    row("h264 + mp3", AV_CODEC_ID_H264, AV_CODEC_ID_MP3, "flv");
    row("aac alone", AV_CODEC_ID_NONE, AV_CODEC_ID_AAC, "flv");
    row("vp9 + opus", AV_CODEC_ID_VP9, AV_CODEC_ID_OPUS, "webm");
    row("av1 alone", AV_CODEC_ID_AV1, AV_CODEC_ID_NONE, "webm");
    row("hevc + aac", AV_CODEC_ID_HEVC, AV_CODEC_ID_AAC, "matroska");
    row("h264 + opus", AV_CODEC_ID_H264, AV_CODEC_ID_OPUS, "matroska");
    row("vp9 + aac", AV_CODEC_ID_VP9, AV_CODEC_ID_AAC, "matroska");
    row("mpeg4 + mp3", AV_CODEC_ID_MPEG4, AV_CODEC_ID_MP3, "matroska");
}

void TResolverStreamTest::Containers()
{
    QFETCH(int, video);
    QFETCH(int, audio);
    QFETCH(QByteArray, muxer);
    QCOMPARE(QByteArray(ContainerFor(AVCodecID(video), AVCodecID(audio)).Muxer), muxer);
}

void TResolverStreamTest::FetchRules_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("http") << "http://cdn.test/seg1.ts" << true;
    QTest::newRow("https key, encrypted") << "crypto+https://cdn.test/seg1.ts" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("file inside crypto") << "crypto+file:///etc/passwd" << false;
    QTest::newRow("bare path") << "/etc/passwd" << false;
    QTest::newRow("data") << "data:video/mp2t;base64,AAAA" << false;
    QTest::newRow("ftp") << "ftp://cdn.test/seg1.ts" << false;
    QTest::newRow("subfile") << "subfile,,start,0,end,0,,:/etc/passwd" << false;
    QTest::newRow("concat") << "concat:http://a.test/1.ts|file:///etc/passwd" << false;
}

void TResolverStreamTest::FetchRules()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    std::string why;
    QCOMPARE(TStreamInput::MayFetch(url.toStdString(), std::nullopt, &why), allowed);
    QCOMPARE(why.empty(), allowed);
    QVERIFY(!QByteArray(TStreamInput::ProtocolWhitelist()).contains("file"));
}

void TResolverStreamTest::TokensAreRandomAndNamed()
{
    TStreamRegistry& registry = TStreamRegistry::Instance();
    QSet<QByteArray> tokens;
    for (int i = 0; i < 200; ++i) {
        const QByteArray link = registry.Issue(TStreamSource{{QUrl("http://h/a.m3u8")}, {}, {}});
        QVERIFY2(StreamLinkPattern.match(QString::fromLatin1(link)).hasMatch(), link);
        const QByteArray token = TStreamRegistry::TokenOfName(link.mid(link.lastIndexOf('/') + 1));
        QCOMPARE(token.size(), 32);
        QVERIFY(registry.Find(token).has_value());
        tokens.insert(token);
    }
    QCOMPARE(tokens.size(), 200);
    // Names this registry could not have issued are no tokens at all.
    for (const QByteArray& name :
         {QByteArray("0123456789abcdef0123456789abcdef"),
          QByteArray("0123456789ABCDEF0123456789ABCDEF.flv"),
          QByteArray("0123456789abcdef0123456789abcde.flv"), QByteArray("../../etc/passwd.flv"),
          QByteArray("0123456789abcdef0123456789abcdeg.flv")})
        QVERIFY2(TStreamRegistry::TokenOfName(name).isEmpty(), name);
}

void TResolverStreamTest::PipeHoldsItsBound()
{
    using namespace std::chrono_literals;
    TStreamPipe pipe(1000);
    QVERIFY(pipe.Put(QByteArray(600, 'a'), 0ms));
    QVERIFY(pipe.Put(QByteArray(600, 'b'), 0ms));   // passes: below the bound before it
    QVERIFY(!pipe.Put(QByteArray(10, 'c'), 20ms));  // full: nobody takes
    QByteArray piece;
    QVERIFY(pipe.Take(&piece));
    QCOMPARE(piece, QByteArray(600, 'a'));
    QVERIFY(pipe.Put(QByteArray(10, 'c'), 0ms));

    // A writer waiting on a full pipe is let go at once by Stop.
    bool put = true;
    std::thread writer([&] { put = pipe.Put(QByteArray(10, 'd'), 60s); });
    pipe.Stop();
    writer.join();
    QVERIFY(!put);
    QVERIFY(pipe.Take(&piece));
    QCOMPARE(piece, QByteArray(600, 'b'));
}

void TResolverStreamTest::StreamLinkServesOneFile_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("HLS playlist") << "/hls/index.m3u8";
    QTest::newRow("DASH manifest") << "/dash/m.mpd";
    QTest::newRow("page with an HLS source and a dead file") << "/page/hls";
    QTest::newRow("page with a DASH video src") << "/page/dash";
    QTest::newRow("hls.js page") << "/page/hlsjs";
    QTest::newRow("dash.js page") << "/page/dashjs";
}

void TResolverStreamTest::StreamLinkServesOneFile()
{
    QFETCH(QString, link);
    const QByteArray answer = Resolve(m_web.Url(link));
    QVERIFY2(StreamLinkPattern.match(QString::fromLatin1(answer)).hasMatch(), answer);

    const auto get = Get(answer);
    QCOMPARE(get->Status, 200);
    QCOMPARE(get->ContentType, QByteArray("video/x-flv"));
    QVERIFY(get->Complete);
    const QString saved = SaveBody(get->Body, "stream.flv");
    QCOMPARE(FormatOf(saved), QString("flv"));
    QCOMPARE(StreamCodecs(saved), (QStringList{"h264", "aac"}));
    const double seconds = SecondsOf(saved);
    QVERIFY2(qAbs(seconds - MediaSeconds) <= 0.1 * MediaSeconds,
             qPrintable(QString::number(seconds)));
    QCOMPARE(DecodeErrors(saved), QString());
}

void TResolverStreamTest::FileOnPageBeatsStream()
{
    QCOMPARE(Resolve(m_web.Url("/page/both")), m_web.Url("/pair/video.mp4").toUtf8());
}

void TResolverStreamTest::RegisteredPairServesOneFile_data()
{
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("codecs");

    QTest::newRow("h264 + aac as FLV")
        << "/pair/video.mp4"
        << "/pair/audio.m4a" << QByteArray("video/x-flv") << "flv" << QStringList{"h264", "aac"};
    QTest::newRow("mpeg4 + mp3 as Matroska") << "/pair/video-mpeg4.mp4"
                                             << "/pair/audio.mp3" << QByteArray("video/x-matroska")
                                             << "matroska,webm" << QStringList{"mpeg4", "mp3"};
}

void TResolverStreamTest::RegisteredPairServesOneFile()
{
    QFETCH(QString, video);
    QFETCH(QString, audio);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, format);
    QFETCH(QStringList, codecs);

    const qsizetype before = m_web.Requests().size();
    TStreamSource source;
    source.Inputs = {QUrl(m_web.Url(video)), QUrl(m_web.Url(audio))};
    source.Headers = {{"Referer", "http://site.test/watch?v=1"},
                      {"User-Agent", "Quorvex-Test/1"},
                      {"Cookie", "session=abc"}};
    const QByteArray link = TStreamRegistry::Instance().Issue(source);

    const auto get = Get(link);
    QCOMPARE(get->Status, 200);
    QCOMPARE(get->ContentType, contentType);
    QVERIFY(get->Complete);
    const QString saved = SaveBody(get->Body, "pair-stream");
    QCOMPARE(FormatOf(saved), format);
    QCOMPARE(StreamCodecs(saved), codecs);
    const double seconds = SecondsOf(saved);
    QVERIFY2(qAbs(seconds - MediaSeconds) <= 0.1 * MediaSeconds,
             qPrintable(QString::number(seconds)));

    // Every fetch of both files carried the stream's headers.
    const QList<TTestHttpRequest> requests = m_web.Requests().mid(before);
    QVERIFY(!requests.isEmpty());
    QSet<QByteArray> paths;
    for (const TTestHttpRequest& request : requests) {
        paths.insert(request.Path);
        QCOMPARE(request.Header("Referer"), QByteArray("http://site.test/watch?v=1"));
        QCOMPARE(request.Header("User-Agent"), QByteArray("Quorvex-Test/1"));
        QCOMPARE(request.Header("Cookie"), QByteArray("session=abc"));
    }
    QCOMPARE(paths, (QSet<QByteArray>{video.toLatin1(), audio.toLatin1()}));
}

void TResolverStreamTest::TokenRefused_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("end");  // how an issued token ends
    QTest::newRow("never issued") << QByteArray("0123456789abcdef0123456789abcdef.flv") << "";
    QTest::newRow("not a token") << QByteArray("..%2F..%2Fetc%2Fpasswd") << "";
    QTest::newRow("issued, expired") << QByteArray() << "lifetime";
    QTest::newRow("issued, served in full") << QByteArray() << "served";
}

void TResolverStreamTest::TokenRefused()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, end);
    TStreamRegistry& registry = TStreamRegistry::Instance();
    QByteArray link = m_base + "/get-url/stream/" + name;
    if (!end.isEmpty()) {
        if (end == "lifetime")
            registry.SetLifetime(std::chrono::milliseconds(1));
        registry.SetGrace(std::chrono::milliseconds(1));
        link = registry.Issue(TStreamSource{{QUrl(m_web.Url("/hls/index.m3u8"))}, {}, {}});
        const QByteArray token = TStreamRegistry::TokenOfName(link.mid(link.lastIndexOf('/') + 1));
        if (end == "served")
            QVERIFY(Get(link)->Complete);
        QTRY_VERIFY(!registry.Find(token).has_value());
    }
    const qsizetype before = m_web.Requests().size();
    const auto get = Get(link);
    QCOMPARE(get->Status, 404);
    QCOMPARE(m_web.Requests().size(), before);  // nothing was fetched for it
}

void TResolverStreamTest::BrokenSegmentEndsWithoutLastChunk_data()
{
    QTest::addColumn<QString>("playlist");
    QTest::addColumn<int>("status");
    QTest::newRow("segment cut short of its length") << "/cut/cut.m3u8" << 200;
    QTest::newRow("chunked segment cut before its last chunk") << "/cut/cut-chunked.m3u8" << 200;
    // The missing segment is found while the streams are read, before the
    // first byte: a plain error status then.
    QTest::newRow("segment missing") << "/cut/missing.m3u8" << 502;
}

void TResolverStreamTest::BrokenSegmentEndsWithoutLastChunk()
{
    QFETCH(QString, playlist);
    QFETCH(int, status);
    const QByteArray answer = Resolve(m_web.Url(playlist));
    QVERIFY2(StreamLinkPattern.match(QString::fromLatin1(answer)).hasMatch(), answer);
    const auto get = Get(answer);
    QCOMPARE(get->Status, status);
    if (status == 200) {
        QVERIFY(get->Closed);
        QVERIFY(!get->Complete);
        QVERIFY(!get->Body.isEmpty());
    }
    // A failed download leaves the link usable for another try.
    QCOMPARE(Get(answer, false)->Status, status);
}

void TResolverStreamTest::LocalFilesRefused_data()
{
    QTest::addColumn<QString>("playlist");
    QTest::newRow("file:///etc/passwd") << "/local/passwd.m3u8";
    QTest::newRow("file link to a real segment") << "/local/segment.m3u8";
    QTest::newRow("segment redirected to a file") << "/local/redirect.m3u8";
    QTest::newRow("DASH segments under a file base") << "/local/base.mpd";
}

void TResolverStreamTest::LocalFilesRefused()
{
    QFETCH(QString, playlist);
    const QByteArray answer = Resolve(m_web.Url(playlist));
    QVERIFY2(StreamLinkPattern.match(QString::fromLatin1(answer)).hasMatch(), answer);
    const auto get = Get(answer);
    QCOMPARE(get->Status, 502);
    QVERIFY(!get->Body.contains("root:"));
}

void TResolverStreamTest::AskerGoneStopsTheRemux()
{
    const QByteArray answer = TStreamRegistry::Instance().Issue(
        TStreamSource{{QUrl(m_web.Url("/slow/index.m3u8"))}, {}, {}});
    QTRY_COMPARE(TStreamServing::Running(), 0);  // earlier servings have ended
    auto get = std::make_unique<TRawGet>(QUrl::fromEncoded(answer));
    QTRY_VERIFY_WITH_TIMEOUT(get->Status == 200, 30000);
    QCOMPARE(TStreamServing::Running(), 1);
    get->Drop();
    // The remux notices at its next read and ends well before the segments would.
    QTRY_COMPARE_WITH_TIMEOUT(TStreamServing::Running(), 0, 5000);
}

void TResolverStreamTest::StalledSourceEndsTheStream_data()
{
    QTest::addColumn<QString>("playlist");
    QTest::addColumn<int>("status");
    QTest::newRow("first segment never answers") << "/stall/first.m3u8" << 502;
    QTest::newRow("second segment stops mid-way") << "/stall/second.m3u8" << 200;
}

void TResolverStreamTest::StalledSourceEndsTheStream()
{
    QFETCH(QString, playlist);
    QFETCH(int, status);
    const QByteArray link =
        TStreamRegistry::Instance().Issue(TStreamSource{{QUrl(m_web.Url(playlist))}, {}, {}});
    TRawGet get{QUrl::fromEncoded(link)};
    QTRY_VERIFY_WITH_TIMEOUT(get.Done(), 10 * StallLimitMs);
    QCOMPARE(get.Status, status);
    QVERIFY(!get.Complete || status != 200);
    QTRY_COMPARE_WITH_TIMEOUT(TStreamServing::Running(), 0, 5000);
}

void TResolverStreamTest::WindowSavesPageStream_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("own");  // the program's own service, which asks for its secret
    QTest::newRow("HLS source, a service started by hand") << "/page/hls" << false;
    QTest::newRow("HLS source, the program's own") << "/page/hls" << true;
    QTest::newRow("hls.js page") << "/page/hlsjs" << false;
    QTest::newRow("dash.js page") << "/page/dashjs" << false;
}

void TResolverStreamTest::WindowSavesPageStream()
{
    QFETCH(QString, page);
    QFETCH(bool, own);
    if (own && !QByteArray(QUORVEX_RESOLVER_URL).isEmpty())
        QSKIP("this build names a resolver address, so the program starts none");
    SetResolverExecutable(QUORVEX_RESOLVER_PATH);
    SetResolverBaseAddress(own ? std::string() : m_process.Base().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(m_web.Url(page), folder.path());

    SetResolverBaseAddress({});
    QCOMPARE(f.Messages.size(), size_t(1));
    QVERIFY2(f.Messages[0].Text == MsgDownloaded, m_process.Log().constData());
    const QStringList files = FolderEntries(folder.path());
    QCOMPARE(files.size(), 1);
    QVERIFY(files[0].endsWith(".flv"));
    const QString saved = folder.filePath(files[0]);
    QCOMPARE(StreamCodecs(saved), (QStringList{"h264", "aac"}));
    const double seconds = SecondsOf(saved);
    QVERIFY2(qAbs(seconds - MediaSeconds) <= 0.1 * MediaSeconds,
             qPrintable(QString::number(seconds)));
    if (own)
        return;  // the program's own service logs to the program, not to this test
    QVERIFY2(m_process.Log().contains("served"), m_process.Log().constData());
    // Found by the page rules themselves, not by yt-dlp.
    const QByteArray log = m_process.Log();
    const qsizetype line = log.lastIndexOf("link=" + m_web.Url(page).toUtf8() + " ");
    QVERIFY2(line >= 0, log.constData());
    QVERIFY2(log.mid(line, log.indexOf('\n', line) - line).contains("a stream, no file among"),
             log.constData());
}

// A page whose player only the extractor understands, and whose best media is
// a video file and an audio file apart: a stand-in yt-dlp first on PATH
// answers with the pair, as the real one does for such sites.
void TResolverStreamTest::WindowSavesVideoAudioPair()
{
    m_web.AddRoute(QJsonObject{
        {"path", "/page/scripted"}, {"contentType", "text/html"}, {"body", "<p>player</p>"}});
    QTemporaryDir tools;
    const QString json = QString(R"({"extractor_key": "Generic", "formats": [
            {"format_id": "v", "url": "%1", "protocol": "http", "vcodec": "avc1", "acodec": "none"},
            {"format_id": "a", "url": "%2", "protocol": "http", "vcodec": "none", "acodec": "mp4a"}],
            "requested_formats": [{"format_id": "v"}, {"format_id": "a"}]})")
                             .arg(m_web.Url("/pair/video.mp4"), m_web.Url("/pair/audio.m4a"));
    QFile answer(tools.filePath("answer.json"));
    QVERIFY(answer.open(QIODevice::WriteOnly));
    answer.write(json.toUtf8());
    answer.close();
    QFile script(tools.filePath("yt-dlp"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\nread -r link\necho \"[generic] Extracting URL: $link\" >&2\n"
        "cat \"$(dirname \"$0\")/answer.json\"\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH", tools.path() + ":/usr/bin:/bin");
    TResolverProcess resolver;
    resolver.SetEnvironment(environment);
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0"}));
    SetResolverBaseAddress(resolver.Base().toStdString());
    QTemporaryDir folder;
    TWindowFixture f;
    QVERIFY(f.Exposed);

    f.RunDownload(m_web.Url("/page/scripted"), folder.path());

    SetResolverBaseAddress({});
    QCOMPARE(f.Messages.size(), size_t(1));
    QVERIFY2(f.Messages[0].Text == MsgDownloaded, resolver.Log().constData());
    const QStringList files = FolderEntries(folder.path());
    QCOMPARE(files.size(), 1);
    QVERIFY(files[0].endsWith(".flv"));
    const QString saved = folder.filePath(files[0]);
    QCOMPARE(StreamCodecs(saved), (QStringList{"h264", "aac"}));
    const double seconds = SecondsOf(saved);
    QVERIFY2(qAbs(seconds - MediaSeconds) <= 0.1 * MediaSeconds,
             qPrintable(QString::number(seconds)));
}

QTEST_MAIN(TResolverStreamTest)
#include "tst_ResolverStream.moc"
