// yt-dlp in the resolver: the format choice from recorded JSON, the way a
// chosen file or stream becomes the answer, the order between yt-dlp and the
// built-in page rules (with a scripted stand-in for yt-dlp), and the real
// yt-dlp on script-configured players served by testhttpd on 127.0.0.1.

#include "ResolverProcess.h"
#include "TestEnvironment.h"
#include "TestHttpServer.h"
#include "services/resolver/ytdlp/YtDlpAnswer.h"
#include "services/resolver/ytdlp/YtDlpFormats.h"

#include <QtTest>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <vector>

namespace {

constexpr int AskBoundMs = 60000;

QJsonObject Json(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        qWarning("bad sample: %s", qPrintable(error.errorString()));
    return document.object();
}

QByteArray HeaderNames(const THeaderList& headers)
{
    QByteArrayList names;
    for (const auto& header : headers)
        names += header.first;
    return names.join(',');
}

QByteArray HeaderValue(const THeaderList& headers, const QByteArray& name)
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

QStringList Links(const QList<QUrl>& urls)
{
    QStringList links;
    for (const QUrl& url : urls)
        links += url.toString();
    return links;
}

bool WriteText(const QString& path, const QByteArray& text, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

bool ProcessAlive(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

// A stand-in for yt-dlp in a folder put first on PATH. It reads the link
// from its standard input, notes its process id in "started", then does what "mode" says: "hang"
// sleeps, "fail" prints an error, "slow" answers after 2 s, anything else at once: it prints
// "claim" as its log line (unless empty) and "answer.json" as its result.
class TFakeYtDlp
{
public:
    TFakeYtDlp()
    {
        const QByteArray script =
            "#!/bin/sh\n"
            "dir=$(dirname \"$0\")\n"
            "read -r link\n"
            "echo $$ >> \"$dir/started\"\n"
            "case $(cat \"$dir/mode\") in\n"
            "hang) exec sleep 300 ;;\n"
            "slow) sleep 2 ;;\n"
            "fail) echo \"ERROR: Unsupported URL: $link\" >&2; exit 1 ;;\n"
            "esac\n"
            "claim=$(cat \"$dir/claim\")\n"
            "[ -n \"$claim\" ] && echo \"[$claim] Extracting URL: $link\" >&2\n"
            "cat \"$dir/answer.json\"\n";
        m_ok = m_dir.isValid() && WriteText(m_dir.filePath("yt-dlp"), script, true) &&
               Set("answer", "", "{}");
    }
    bool Ok() const { return m_ok; }
    QByteArray PathValue() const { return QFile::encodeName(m_dir.path()) + ":/usr/bin:/bin"; }

    bool Set(const QByteArray& mode, const QByteArray& claim, const QByteArray& json)
    {
        return WriteText(m_dir.filePath("mode"), mode) &&
               WriteText(m_dir.filePath("claim"), claim) &&
               WriteText(m_dir.filePath("answer.json"), json);
    }
    QList<qint64> Started() const
    {
        QFile file(m_dir.filePath("started"));
        QList<qint64> pids;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.trimmed().isEmpty())
                    pids += line.trimmed().toLongLong();
            }
        }
        return pids;
    }
    int Alive() const
    {
        int alive = 0;
        for (qint64 pid : Started())
            alive += ProcessAlive(pid) ? 1 : 0;
        return alive;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

}  // namespace

class TResolverYtDlpTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void FormatChoice_data();
    void FormatChoice();
    void ChoiceBecomesAnswer_data();
    void ChoiceBecomesAnswer();
    void OrderOfExtractorAndPageRules_data();
    void OrderOfExtractorAndPageRules();
    void HangingYtDlpKilledAtAnswerTimeout();
    void AtMostThreeRunsAtOnce();
    void SlowAnswersOutlastTheIdleTimeOut();
    void WithoutYtDlp_data();
    void WithoutYtDlp();
    void ScriptPlayersResolvedByYtDlp_data();
    void ScriptPlayersResolvedByYtDlp();
    void YtDlpFetchesKeepToTheAddressRules();

private:
    QByteArray Ask(const TResolverProcess& resolver, const QByteArray& link, int boundMs);
    QNetworkReply* StartAsking(const TResolverProcess& resolver, const QByteArray& link);
    QByteArray Expand(QByteArray text) const
    {
        return text.replace("{base}", m_web.BaseUrl().toUtf8());
    }

    TTestHttpServer m_web;
    QNetworkAccessManager m_network;
};

void TResolverYtDlpTest::initTestCase()
{
    auto page = [](const QString& path, const QString& html) {
        return QJsonObject{
            {"path", path}, {"contentType", "text/html; charset=utf-8"}, {"body", html}};
    };
    const QList<QJsonObject> routes = {
        {{"prefix", "/media/"}, {"contentType", "video/mp4"}, {"bodySize", 4000}},
        {{"path", "/guarded.mp4"}, {"status", 403}, {"contentType", "text/html"}, {"body", "no"}},
        page("/p/video", "<video src='/media/builtin.mp4'></video>"),
        page("/p/empty", "<p>Nothing to see.</p>"),
        // A player set up by a script, as JW Player's embed code does it.
        page("/p/jw",
             "<script src='/jwplayer.js'></script><div id='player'></div><script>"
             "jwplayer('player').setup({file: '/media/jw.mp4', image: '/poster.jpg',"
             " title: 'A clip'});</script>"),
        // Video.js with an empty <video> whose source the script gives.
        page("/p/videojs",
             "<script src='/video.min.js'></script>"
             "<video id='my-player' class='video-js'></video><script>"
             "var player = videojs('my-player');"
             "player.src({src: '/media/videojs.mp4', type: 'video/mp4'});</script>"),
        // A player page and a page that has it in an iframe, both on this machine.
        page("/p/inner",
             "<script src='/jwplayer.js'></script><div id='player'></div><script>"
             "jwplayer('player').setup({file: '/media/inner.mp4'});</script>"),
        page("/p/iframe-inner",
             "<head><meta name='twitter:card' content='player'>"
             "<meta name='twitter:player' content='{base}/p/inner'></head>"
             "<body><iframe src='{base}/p/inner' width='640' height='360'></iframe></body>"),
        // An iframe player, announced as the page's player card.
        page("/p/iframe",
             "<head><meta name='twitter:card' content='player'>"
             "<meta name='twitter:player' content='{base}/p/jw'></head>"
             "<body><iframe src='/p/jw' width='640' height='360'></iframe></body>"),
    };
    for (const QJsonObject& route : routes)
        m_web.AddRoute(route);
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));
}

QNetworkReply* TResolverYtDlpTest::StartAsking(const TResolverProcess& resolver,
                                               const QByteArray& link)
{
    const QByteArray target = resolver.Base() + "/get-url/index/link/?link=" + link;
    return m_network.get(QNetworkRequest(QUrl::fromEncoded(target, QUrl::TolerantMode)));
}

QByteArray TResolverYtDlpTest::Ask(const TResolverProcess& resolver, const QByteArray& link,
                                   int boundMs)
{
    std::unique_ptr<QNetworkReply> reply(StartAsking(resolver, link));
    QDeadlineTimer deadline(boundMs);
    while (!reply->isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return reply->isFinished() ? reply->readAll() : QByteArray("(no answer)");
}

// ---------------------------------------------------------------------------
// The format choice, from JSON shaped as yt-dlp prints it (formats worst
// first, codecs "none" where a stream is absent).

void TResolverYtDlpTest::FormatChoice_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("refusedHost");  // the address policy says no
    QTest::addColumn<QString>("kind");         // none, file, stream
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QByteArray>("extraHeaders");

    const QByteArray ua = "\"User-Agent\": \"" + YtDlpUserAgent() + "\"";
    QTest::newRow("combined files: the best one, not a better video-only one")
        << QByteArray(R"({"extractor_key": "Youtube", "formats": [
            {"format_id": "18", "url": "https://v.example/360.mp4", "protocol": "https",
             "vcodec": "avc1", "acodec": "mp4a"},
            {"format_id": "140", "url": "https://v.example/a.m4a", "protocol": "https",
             "vcodec": "none", "acodec": "mp4a"},
            {"format_id": "22", "url": "https://v.example/720.mp4", "protocol": "https",
             "vcodec": "avc1", "acodec": "mp4a"},
            {"format_id": "137", "url": "https://v.example/1080.mp4", "protocol": "https",
             "vcodec": "avc1", "acodec": "none"}]})")
        << ""
        << "file" << QStringList{"https://v.example/720.mp4"} << QByteArray();
    QTest::newRow("a file beats a better HLS stream")
        << QByteArray(R"({"formats": [
            {"format_id": "mp4", "url": "http://v.example/low.mp4", "protocol": "http",
             "vcodec": "avc1", "acodec": "mp4a"},
            {"format_id": "hls-1080", "url": "http://v.example/1080.m3u8",
             "protocol": "m3u8_native", "vcodec": "avc1", "acodec": "mp4a"}]})")
        << ""
        << "file" << QStringList{"http://v.example/low.mp4"} << QByteArray();
    QTest::newRow("unknown codecs count as a whole file (generic player pages)")
        << QByteArray(R"({"extractor_key": "Generic", "formats": [
            {"format_id": "0", "url": "http://v.example/clip.mp4", "protocol": "http",
             "ext": "mp4", "video_ext": "mp4", "audio_ext": "none"}]})")
        << ""
        << "file" << QStringList{"http://v.example/clip.mp4"} << QByteArray();
    QTest::newRow("a result without a format list is its own format")
        << QByteArray(R"({"url": "http://v.example/single.webm", "protocol": "http"})") << ""
        << "file" << QStringList{"http://v.example/single.webm"} << QByteArray();
    QTest::newRow("audio-only page: the best audio file")
        << QByteArray(R"({"formats": [
            {"format_id": "low", "url": "http://a.example/64.mp3", "protocol": "http",
             "vcodec": "none", "acodec": "mp3"},
            {"format_id": "hls", "url": "http://a.example/a.m3u8", "protocol": "m3u8",
             "vcodec": "none", "acodec": "mp4a"},
            {"format_id": "high", "url": "http://a.example/128.m4a", "protocol": "http",
             "vcodec": "none", "acodec": "mp4a"}]})")
        << ""
        << "file" << QStringList{"http://a.example/128.m4a"} << QByteArray();
    QTest::newRow("audio files guessed from their extension when codecs are unknown")
        << QByteArray(R"({"formats": [{"format_id": "0", "url": "http://a.example/song.mp3",
                                       "protocol": "http", "ext": "mp3"}]})")
        << ""
        << "file" << QStringList{"http://a.example/song.mp3"} << QByteArray();
    QTest::newRow("HLS only: the best variant as a stream")
        << QByteArray(R"({"formats": [
            {"format_id": "hls-480", "url": "http://v.example/480.m3u8",
             "manifest_url": "http://v.example/master.m3u8", "protocol": "m3u8_native",
             "vcodec": "avc1", "acodec": "mp4a"},
            {"format_id": "hls-720", "url": "http://v.example/720.m3u8",
             "manifest_url": "http://v.example/master.m3u8", "protocol": "m3u8_native",
             "vcodec": "avc1", "acodec": "mp4a"}]})")
        << ""
        << "stream" << QStringList{"http://v.example/720.m3u8"} << QByteArray();
    QTest::newRow("a playlist link over plain http is a stream too")
        << QByteArray(R"({"formats": [{"format_id": "0", "url": "http://v.example/live.m3u8",
                                       "protocol": "http"}]})")
        << ""
        << "stream" << QStringList{"http://v.example/live.m3u8"} << QByteArray();
    QTest::newRow("separate video and audio: the pair yt-dlp picked")
        << QByteArray(R"({"formats": [
            {"format_id": "v1", "url": "https://v.example/v1.mp4", "protocol": "https",
             "vcodec": "avc1", "acodec": "none"},
            {"format_id": "a1", "url": "https://v.example/a1.m4a", "protocol": "https",
             "vcodec": "none", "acodec": "mp4a"},
            {"format_id": "v2", "url": "https://v.example/v2.webm", "protocol": "https",
             "vcodec": "vp9", "acodec": "none"}],
           "requested_formats": [{"format_id": "v1"}, {"format_id": "a1"}]})")
        << ""
        << "stream" << QStringList{"https://v.example/v1.mp4", "https://v.example/a1.m4a"}
        << QByteArray();
    QTest::newRow("separate video and audio without yt-dlp's pick: the best of each")
        << QByteArray(R"({"formats": [
            {"format_id": "a1", "url": "https://v.example/a1.m4a", "protocol": "https",
             "vcodec": "none", "acodec": "mp4a"},
            {"format_id": "v1", "url": "https://v.example/v1.mp4", "protocol": "https",
             "vcodec": "avc1", "acodec": "none"},
            {"format_id": "v2", "url": "https://v.example/v2.mp4", "protocol": "https",
             "vcodec": "avc1", "acodec": "none"}]})")
        << ""
        << "stream" << QStringList{"https://v.example/v2.mp4", "https://v.example/a1.m4a"}
        << QByteArray();
    QTest::newRow("DASH video and audio: their one manifest")
        << QByteArray(R"({"formats": [
            {"format_id": "dash-a", "url": "https://v.example/seg/a/", "protocol":
             "http_dash_segments", "manifest_url": "https://v.example/m.mpd",
             "vcodec": "none", "acodec": "mp4a"},
            {"format_id": "dash-v", "url": "https://v.example/seg/v/", "protocol":
             "http_dash_segments", "manifest_url": "https://v.example/m.mpd",
             "vcodec": "avc1", "acodec": "none"}]})")
        << ""
        << "stream" << QStringList{"https://v.example/m.mpd"} << QByteArray();
    QTest::newRow("headers the site added are kept, the ordinary ones are not extra")
        << QByteArray(R"({"formats": [{"format_id": "0", "url": "http://v.example/c.mp4",
             "protocol": "http", "http_headers": {)" +
                      ua + R"(, "Accept": "*/*",
             "Sec-Fetch-Mode": "navigate", "Referer": "http://v.example/page",
             "Cookie": "sid=42"}}]})")
        << ""
        << "file" << QStringList{"http://v.example/c.mp4"} << QByteArray("Cookie,Referer");
    QTest::newRow("a User-Agent of the site's own, and cookies listed apart")
        << QByteArray(R"({"formats": [{"format_id": "0", "url": "http://v.example/c.mp4",
             "protocol": "http", "cookies": "sid=42; Domain=.v.example; Path=/; Secure; t=x",
             "http_headers": {"User-Agent": "SiteApp/2.0"}}]})")
        << ""
        << "file" << QStringList{"http://v.example/c.mp4"} << QByteArray("User-Agent,Cookie");
    QTest::newRow("a format the address policy refuses is passed over")
        << QByteArray(R"({"formats": [
            {"format_id": "ok", "url": "http://v.example/ok.mp4", "protocol": "http",
             "vcodec": "avc1", "acodec": "mp4a"},
            {"format_id": "inside", "url": "http://10.0.0.1/best.mp4", "protocol": "http",
             "vcodec": "avc1", "acodec": "mp4a"}]})")
        << "10.0.0.1"
        << "file" << QStringList{"http://v.example/ok.mp4"} << QByteArray();
    QTest::newRow("formats no download can take: none") << QByteArray(R"({"formats": [
            {"format_id": "rtmp", "url": "rtmp://v.example/live", "protocol": "rtmp"},
            {"format_id": "f4m", "url": "http://v.example/m.f4m", "protocol": "f4m"},
            {"format_id": "file", "url": "file:///etc/passwd", "protocol": "file"}]})")
                                                        << ""
                                                        << "none" << QStringList{} << QByteArray();
    QTest::newRow("a page of several videos: the first with formats")
        << QByteArray(R"({"_type": "playlist", "entries": [{"title": "no formats"},
            {"formats": [{"format_id": "0", "url": "http://v.example/first.mp4",
                          "protocol": "http"}]},
            {"formats": [{"format_id": "0", "url": "http://v.example/second.mp4",
                          "protocol": "http"}]}]})")
        << ""
        << "file" << QStringList{"http://v.example/first.mp4"} << QByteArray();
}

void TResolverYtDlpTest::FormatChoice()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, refusedHost);
    QFETCH(QString, kind);
    QFETCH(QStringList, links);
    QFETCH(QByteArray, extraHeaders);

    const TYtDlpChoice choice =
        ChooseFormat(Json(json), [&](const QUrl& url) { return url.host() != refusedHost; });
    const QString kinds[] = {"none", "file", "stream"};
    QCOMPARE(kinds[static_cast<int>(choice.Kind)], kind);
    if (choice.Kind == TYtDlpChoice::TKind::File) {
        QCOMPARE(QStringList{choice.Url.toString()}, links);
        QCOMPARE(HeaderNames(choice.ExtraHeaders), extraHeaders);
    } else {
        QCOMPARE(Links(choice.Source.Inputs), links);
    }
    // Whatever is passed on to a stream carries every header of the format.
    if (extraHeaders.contains("Cookie"))
        QCOMPARE(HeaderValue(choice.Source.Headers, "Cookie").left(6), QByteArray("sid=42"));
    if (json.contains("cookies"))
        QCOMPARE(HeaderValue(choice.Source.Headers, "Cookie"), QByteArray("sid=42; t=x"));
}

// ---------------------------------------------------------------------------
// A choice becomes the answer: a plain file as it is; a playlist, a pair, or
// a file refused without its headers through a stream link.

void TResolverYtDlpTest::ChoiceBecomesAnswer_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("answer");  // "stream" when a stream link is expected
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QByteArray>("referer");

    QTest::newRow("plain file") << QByteArray(R"({"formats": [{"format_id": "0",
        "url": "{base}/media/a.mp4", "protocol": "http"}]})")
                                << QByteArray("{base}/media/a.mp4") << QStringList{}
                                << QByteArray();
    QTest::newRow("a Referer the server does not need")
        << QByteArray(R"({"formats": [{
        "format_id": "0", "url": "{base}/media/b.mp4", "protocol": "http",
        "http_headers": {"Referer": "{base}/p/videojs"}}]})")
        << QByteArray("{base}/media/b.mp4") << QStringList{} << QByteArray();
    QTest::newRow("a file refused without its headers")
        << QByteArray(R"({"formats": [{
        "format_id": "0", "url": "{base}/guarded.mp4", "protocol": "http",
        "http_headers": {"Referer": "{base}/p/jw"}}]})")
        << QByteArray("stream") << QStringList{"{base}/guarded.mp4"} << QByteArray("{base}/p/jw");
    QTest::newRow("HLS") << QByteArray(R"({"formats": [{"format_id": "hls",
        "url": "{base}/media/v.m3u8", "protocol": "m3u8_native"}]})")
                         << QByteArray("stream") << QStringList{"{base}/media/v.m3u8"}
                         << QByteArray();
    QTest::newRow("video and audio")
        << QByteArray(R"({"formats": [
        {"format_id": "v", "url": "{base}/media/v.mp4", "protocol": "http", "acodec": "none"},
        {"format_id": "a", "url": "{base}/media/a.m4a", "protocol": "http", "vcodec": "none"}]})")
        << QByteArray("stream") << QStringList{"{base}/media/v.mp4", "{base}/media/a.m4a"}
        << QByteArray();
    QTest::newRow("generic extractor's guess that is not media")
        << QByteArray(R"({"extractor_key": "Generic", "formats": [{"format_id": "0",
        "url": "{base}/p/empty", "protocol": "http"}]})")
        << QByteArray() << QStringList{} << QByteArray();
    QTest::newRow("generic extractor's file that is media")
        << QByteArray(R"({"extractor_key": "Generic", "formats": [{"format_id": "0",
        "url": "{base}/media/g.mp4", "protocol": "http"}]})")
        << QByteArray("{base}/media/g.mp4") << QStringList{} << QByteArray();
    QTest::newRow("nothing usable")
        << QByteArray(R"({"formats": []})") << QByteArray() << QStringList{} << QByteArray();
}

void TResolverYtDlpTest::ChoiceBecomesAnswer()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, inputs);
    QFETCH(QByteArray, referer);

    QNetworkAccessManager network;
    TYtDlpAnswer stage(&network, TResolverLimits());
    QList<TStreamSource> issued;
    stage.SetIssue([&issued](const TStreamSource& source) {
        issued.append(source);
        return QByteArray("http://127.0.0.1:1/get-url/stream/token.flv");
    });
    QByteArray link = "(none)";
    connect(&stage, &TYtDlpAnswer::Done, this,
            [&link](const QByteArray& done, const QString&) { link = done; });
    stage.Start(Json(Expand(json)), TAddressPolicy::ForTypedLink(QUrl(m_web.BaseUrl())));
    QTRY_VERIFY_WITH_TIMEOUT(link != "(none)", 10000);

    if (answer == "stream") {
        QCOMPARE(link, QByteArray("http://127.0.0.1:1/get-url/stream/token.flv"));
        QCOMPARE(issued.size(), 1);
        QStringList expected;
        for (const QString& input : inputs)
            expected += QString::fromUtf8(Expand(input.toUtf8()));
        QCOMPARE(Links(issued.first().Inputs), expected);
        QCOMPARE(HeaderValue(issued.first().Headers, "Referer"), Expand(referer));
    } else {
        QCOMPARE(link, Expand(answer));
        QVERIFY(issued.isEmpty());
    }
}

// ---------------------------------------------------------------------------
// The order: a site extractor first, then the page rules, then the generic
// extractor. The stand-in says which extractor took the link.

void TResolverYtDlpTest::OrderOfExtractorAndPageRules_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("claim");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("answer");

    const QByteArray extracted = "{base}/media/extracted.mp4";
    const QByteArray builtIn = "{base}/media/builtin.mp4";
    QTest::newRow("site extractor beats the page rules")
        << QByteArray("answer") << QByteArray("fakesite") << QByteArray("FakeSite")
        << QByteArray("/p/video") << extracted;
    QTest::newRow("page rules beat the generic extractor")
        << QByteArray("answer") << QByteArray("generic") << QByteArray("Generic")
        << QByteArray("/p/video") << builtIn;
    QTest::newRow("generic extractor when the page rules find nothing")
        << QByteArray("answer") << QByteArray("generic") << QByteArray("Generic")
        << QByteArray("/p/empty") << extracted;
    QTest::newRow("generic extractor that ends at a site's embed still comes after the rules")
        << QByteArray("answer") << QByteArray("generic") << QByteArray("Youtube")
        << QByteArray("/p/video") << builtIn;
    QTest::newRow("without a claim line the result's extractor decides")
        << QByteArray("answer") << QByteArray("") << QByteArray("FakeSite")
        << QByteArray("/p/video") << extracted;
    QTest::newRow("without a claim line, generic")
        << QByteArray("answer") << QByteArray("") << QByteArray("Generic") << QByteArray("/p/video")
        << builtIn;
    QTest::newRow("yt-dlp failing leaves the page rules")
        << QByteArray("fail") << QByteArray("") << QByteArray("") << QByteArray("/p/video")
        << builtIn;
    QTest::newRow("yt-dlp failing and no media: error")
        << QByteArray("fail") << QByteArray("") << QByteArray("") << QByteArray("/p/empty")
        << QByteArray("error");
}

void TResolverYtDlpTest::OrderOfExtractorAndPageRules()
{
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, claim);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, answer);

    TFakeYtDlp fake;
    QVERIFY(fake.Ok());
    const QByteArray json = R"({"extractor_key": ")" + key + R"(", "formats": [{"format_id": "18",
        "url": "{base}/media/extracted.mp4", "protocol": "http", "vcodec": "avc1",
        "acodec": "mp4a"}]})";
    QVERIFY(fake.Set(mode, claim, Expand(json)));
    TEnvOverride path("PATH", fake.PathValue());
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "20"}));

    QCOMPARE(Ask(resolver, Expand("{base}" + page), AskBoundMs), Expand(answer));
    QCOMPARE(fake.Started().size(), 1);
}

// ---------------------------------------------------------------------------
// Bounds: a run that hangs is killed at the answer time-out and when the
// asker leaves; no more than three run at once.

void TResolverYtDlpTest::HangingYtDlpKilledAtAnswerTimeout()
{
    TFakeYtDlp fake;
    QVERIFY(fake.Ok());
    QVERIFY(fake.Set("hang", "", "{}"));
    TEnvOverride path("PATH", fake.PathValue());
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "2"}));

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Ask(resolver, Expand("{base}/p/iframe"), AskBoundMs), QByteArray("error"));
    QVERIFY2(timer.elapsed() >= 1900, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(fake.Started().size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(fake.Alive(), 0, 5000);

    // What the page rules found is still the answer when yt-dlp is what is late.
    QCOMPARE(Ask(resolver, Expand("{base}/p/video"), AskBoundMs),
             Expand("{base}/media/builtin.mp4"));
    QTRY_COMPARE_WITH_TIMEOUT(fake.Alive(), 0, 5000);
    QVERIFY(resolver.Log().contains("no answer within 2000 ms"));
}

void TResolverYtDlpTest::AtMostThreeRunsAtOnce()
{
    TFakeYtDlp fake;
    QVERIFY(fake.Ok());
    QVERIFY(fake.Set("hang", "", "{}"));
    TEnvOverride path("PATH", fake.PathValue());
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "60"}));

    std::vector<std::unique_ptr<QNetworkReply>> asks;
    for (int i = 0; i < 5; ++i)
        asks.emplace_back(
            StartAsking(resolver, Expand("{base}/p/empty?n=" + QByteArray::number(i))));
    QTRY_COMPARE_WITH_TIMEOUT(fake.Alive(), 3, 20000);
    QCOMPARE(fake.Started().size(), 3);

    // The asker hanging up kills its run, and a waiting one takes the slot.
    const QList<qint64> first = fake.Started();
    asks.front()->abort();
    QTRY_COMPARE_WITH_TIMEOUT(fake.Started().size(), 4, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(fake.Alive(), 3, 5000);
    // Under load an asker's connection may be sent again by Qt's network
    // access, which starts its run once more: what must hold is that no more
    // than three run at once and that the run of the asker who left is gone.
    QVERIFY(fake.Started().size() >= 4);
    QVERIFY(!ProcessAlive(first.front()) || !ProcessAlive(first.at(1)) ||
            !ProcessAlive(first.at(2)));

    asks.clear();
    QTRY_COMPARE_WITH_TIMEOUT(fake.Alive(), 0, 20000);
}

void TResolverYtDlpTest::SlowAnswersOutlastTheIdleTimeOut()
{
    // Every run takes longer than a connection may be idle, and the fourth
    // asker waits for a run's slot first: each answer still arrives.
    TFakeYtDlp fake;
    QVERIFY(fake.Ok());
    QVERIFY(fake.Set("slow", "fakesite", Expand(R"({"extractor_key": "FakeSite", "formats": [
        {"format_id": "0", "url": "{base}/media/slow.mp4", "protocol": "http"}]})")));
    TEnvOverride path("PATH", fake.PathValue());
    TResolverProcess resolver;
    QVERIFY(resolver.Start(
        {"--listen", "127.0.0.1:0", "--idle-timeout", "0.5", "--answer-timeout", "30"}));

    std::vector<std::unique_ptr<QNetworkReply>> asks;
    for (int i = 0; i < 4; ++i)
        asks.emplace_back(
            StartAsking(resolver, Expand("{base}/p/video?slow=" + QByteArray::number(i))));
    for (const auto& ask : asks) {
        QTRY_VERIFY_WITH_TIMEOUT(ask->isFinished(), AskBoundMs);
        QCOMPARE(ask->error(), QNetworkReply::NoError);
        QCOMPARE(ask->readAll(), Expand("{base}/media/slow.mp4"));
    }
}

// ---------------------------------------------------------------------------
// Without yt-dlp the built-in rules answer alone, and the log says why once.

void TResolverYtDlpTest::WithoutYtDlp_data()
{
    QTest::addColumn<bool>("present");  // a yt-dlp that cannot start, or none
    QTest::addColumn<QByteArray>("why");
    QTest::newRow("not on PATH") << false << QByteArray("yt-dlp is not on PATH");
    QTest::newRow("cannot be started") << true << QByteArray("cannot be started");
}

void TResolverYtDlpTest::WithoutYtDlp()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, why);

    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    if (present)
        QVERIFY(WriteText(bin.filePath("yt-dlp"), "#!/nonexistent/interpreter\n", true));
    // Only this folder, so that no system yt-dlp is found either.
    TEnvOverride path("PATH", QFile::encodeName(bin.path()));
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "20"}));

    QCOMPARE(Ask(resolver, Expand("{base}/p/video"), AskBoundMs),
             Expand("{base}/media/builtin.mp4"));
    QCOMPARE(Ask(resolver, Expand("{base}/p/iframe"), AskBoundMs), QByteArray("error"));
    QCOMPARE(Ask(resolver, Expand("{base}/p/video?again"), AskBoundMs),
             Expand("{base}/media/builtin.mp4"));
    QTRY_VERIFY(resolver.Log().contains("/p/video?again"));
    QCOMPARE(resolver.Log().count("built-in rules alone"), 1);
    const qsizetype notice =
        resolver.Log().indexOf("pages are resolved by the built-in rules alone");
    const qsizetype lineStart = resolver.Log().lastIndexOf('\n', notice) + 1;
    QVERIFY(resolver.Log().mid(lineStart, notice - lineStart).contains(why));
}

// ---------------------------------------------------------------------------
// The real yt-dlp on players that only a script sets up. The built-in rules
// read the links a page's own scripts quote (JW Player, Video.js); an iframe
// player only yt-dlp finds. The service with yt-dlp answers the media for each.

void TResolverYtDlpTest::ScriptPlayersResolvedByYtDlp_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("media");
    QTest::addColumn<bool>("builtIn");  // found by the built-in rules alone
    QTest::newRow("JW Player") << QByteArray("/p/jw") << QByteArray("/media/jw.mp4") << true;
    QTest::newRow("Video.js") << QByteArray("/p/videojs") << QByteArray("/media/videojs.mp4")
                              << true;
    QTest::newRow("iframe player")
        << QByteArray("/p/iframe") << QByteArray("/media/jw.mp4") << false;
}

void TResolverYtDlpTest::ScriptPlayersResolvedByYtDlp()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, media);
    QFETCH(bool, builtIn);
    if (QStandardPaths::findExecutable("yt-dlp").isEmpty())
        QSKIP("yt-dlp is not installed (scripts/deps installs it)");

    {
        QTemporaryDir empty;
        TEnvOverride path("PATH", QFile::encodeName(empty.path()));
        TResolverProcess builtInOnly;
        QVERIFY(builtInOnly.Start({"--listen", "127.0.0.1:0"}));
        QCOMPARE(Ask(builtInOnly, Expand("{base}" + page), AskBoundMs),
                 builtIn ? Expand("{base}" + media) : QByteArray("error"));
    }
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "60"}));
    QCOMPARE(Ask(resolver, Expand("{base}" + page), AskBoundMs), Expand("{base}" + media));
    if (!builtIn)
        QTRY_VERIFY2(resolver.Log().contains("yt-dlp Generic"), resolver.Log().constData());
}

void TResolverYtDlpTest::YtDlpFetchesKeepToTheAddressRules()
{
    if (QStandardPaths::findExecutable("yt-dlp").isEmpty())
        QSKIP("yt-dlp is not installed (scripts/deps installs it)");
    // A public site, played by a testhttpd that the service reaches as its
    // proxy, whose page holds a player on this machine in an iframe and as
    // its player card.
    TTestHttpServer site;
    site.AddRoute(QJsonObject{
        {"path", "http://public.example/watch"},
        {"contentType", "text/html; charset=utf-8"},
        {"body",
         QString::fromUtf8(Expand("<head><meta name='twitter:card' content='player'>"
                                  "<meta name='twitter:player' content='{base}/p/inner'>"
                                  "</head><body><iframe src='{base}/p/inner'></iframe>"))}});
    QVERIFY2(site.Start(), qPrintable(site.ErrorString()));
    const auto seen = [this] {
        const QList<TTestHttpRequest> requests = m_web.Requests();
        return std::count_if(requests.begin(), requests.end(),
                             [](const TTestHttpRequest& r) { return r.Target.contains("inner"); });
    };
    {
        QProcessEnvironment proxied = QProcessEnvironment::systemEnvironment();
        proxied.insert("http_proxy", site.BaseUrl());
        // As a desktop usually has it: this machine is reached directly.
        proxied.insert("no_proxy", "127.0.0.1,localhost");
        proxied.remove("NO_PROXY");
        TResolverProcess resolver;
        resolver.SetEnvironment(proxied);
        QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "60"}));
        QCOMPARE(Ask(resolver, "http://public.example/watch", AskBoundMs), QByteArray("error"));
        QVERIFY2(resolver.Log().contains("yt-dlp's fetch of " + Expand("{base}/p/inner")),
                 resolver.Log().constData());
    }
    QCOMPARE(seen(), 0);

    // Typed for this machine, the same player is found there.
    TResolverProcess resolver;
    QVERIFY(resolver.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "60"}));
    QCOMPARE(Ask(resolver, Expand("{base}/p/iframe-inner"), AskBoundMs),
             Expand("{base}/media/inner.mp4"));
    QVERIFY(seen() > 0);
}

QTEST_GUILESS_MAIN(TResolverYtDlpTest)
#include "tst_ResolverYtDlp.moc"
