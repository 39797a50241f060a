// The resolving service as the download page meets it: a real
// quorvex-resolver process asked over HTTP about pages and media served by
// testhttpd on 127.0.0.1.

#include "ResolverProcess.h"
#include "TestHttpServer.h"

#include <QtTest>

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

constexpr int AskBoundMs = 15000;

}  // namespace

class TResolverServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void Answers_data();
    void Answers();
    void LinkSentOnByteForByte();
    void CandidateCheckReadsOnlyHeaders();
    void HugePageReadOnlyInPart();
    void SlowPagesDoNotHoldUpOthers();
    void AskerLeavingEarly();
    void FloodOfRequestsIsBounded();
    void ServiceSurface();

private:
    QNetworkReply* Ask(const QByteArray& link) { return Ask(m_resolver, link); }
    QNetworkReply* Ask(const TResolverProcess& resolver, const QByteArray& link);
    QByteArray Expand(QByteArray text) const;
    QList<TTestHttpAnswer> AnswersTo(const QByteArray& path) const;
    qsizetype RequestCount(const QByteArray& path) const;
    std::unique_ptr<QTcpSocket> RawAsk(const QByteArray& link) const
    {
        return RawAsk(m_resolver, link);
    }
    static std::unique_ptr<QTcpSocket> RawAsk(const TResolverProcess& resolver,
                                              const QByteArray& link);

    QTemporaryDir m_dir;
    TTestHttpServer m_web;
    TResolverProcess m_resolver;
    QNetworkAccessManager m_network;
};

namespace {

constexpr qint64 HugePageBytes = 40 * 1024 * 1024;
constexpr qint64 BigMovieBytes = 100 * 1000 * 1000;

QJsonObject Page(const QString& path, const QString& html)
{
    return {{"path", path}, {"contentType", "text/html; charset=utf-8"}, {"body", html}};
}

QJsonObject Redirect(const QString& path, const QString& location)
{
    return {{"path", path}, {"status", 302}, {"redirect", location}};
}

bool WriteFile(const QString& path, const QByteArray& head, const QByteArray& filler,
               qint64 fillerBytes, const QByteArray& tail)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(head);
    for (qint64 written = 0; written < fillerBytes; written += filler.size())
        file.write(filler);
    file.write(tail);
    return file.error() == QFileDevice::NoError;
}

}  // namespace

void TResolverServiceTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString hugeEarly = m_dir.filePath("huge-early.html");
    const QString hugeLate = m_dir.filePath("huge-late.html");
    const QString deep = m_dir.filePath("deep.html");
    QVERIFY(WriteFile(hugeEarly, "<html><body><video src='/media/huge.mp4'></video>",
                      "<p>Long text that pads the page out.</p>\n", HugePageBytes, ""));
    QVERIFY(WriteFile(hugeLate, "<html><body>", "<p>Long text that pads the page out.</p>\n",
                      6 * 1024 * 1024, "<video src='/media/late.mp4'></video>"));
    // A million nested elements: the HTML parser needs minutes for this.
    QVERIFY(WriteFile(deep, "<html><body>", "<div>", 5 * 1000 * 1000,
                      "<video src='/media/deep.mp4'></video>"));

    const QString closed = QString::number(TTestHttpServer::ClosedPort());
    const QList<QJsonObject> routes = {
        // Media and things that are not.
        {{"path", "/big/movie.mp4"}, {"contentType", "video/mp4"}, {"bodySize", BigMovieBytes}},
        {{"prefix", "/media/"}, {"contentType", "video/mp4"}, {"bodySize", 2000}},
        {{"prefix", "/audio/"}, {"contentType", "audio/mpeg"}, {"bodySize", 2000}},
        {{"path", "/bin/clip.webm"},
         {"contentType", "application/octet-stream"},
         {"bodySize", 2000}},
        {{"path", "/bin/blob"}, {"contentType", "application/octet-stream"}, {"bodySize", 2000}},
        {{"path", "/bin/get"},
         {"contentType", "application/octet-stream"},
         {"headers", QJsonObject{{"Content-Disposition", "attachment; filename=\"talk.mp4\""}}},
         {"bodySize", 2000}},
        {{"path", "/image.png"}, {"contentType", "image/png"}, {"body", "PNG"}},
        {{"path", "/list.m3u8"},
         {"contentType", "audio/x-mpegurl"},
         {"body", "#EXTM3U\n/media/a.mp4\n"}},
        {{"path", "/dead.mp4"}, {"status", 404}, {"contentType", "video/mp4"}, {"body", "gone"}},
        {{"path", "/stall"}, {"stall", true}},
        {{"path", "/stall.mp4"}, {"stall", true}},
        {{"path", "/drip"},
         {"contentType", "text/html"},
         {"bodySize", 10000000},
         {"dripBytes", 200},
         {"dripIntervalMs", 100}},
        // Pages of each kind.
        Page("/p/video", "<video controls src='/media/video.mp4'></video>"),
        Page("/p/source",
             "<video><source src='/list.m3u8' type='application/x-mpegURL'>"
             "<source src='../media/source.webm' type='video/webm'></video>"),
        Page("/p/audio", "<audio><source src='/audio/song.mp3' type='audio/mpeg'></audio>"),
        Page("/p/og",
             "<head><meta property='og:video' content='/media/og.mp4'>"
             "<meta property='og:video:secure_url' content='/p/none'></head>"),
        Page("/p/og-audio", "<meta property='og:audio' content='{base}/audio/og.mp3'>"),
        Page("/p/twitter", "<meta name='twitter:player:stream' content='/media/tw.mp4'>"),
        Page("/p/link", "<link rel='video_src' href='/media/rel.flv'>"),
        Page("/p/embed", "<embed src='/media/embed.flv' type='application/x-shockwave-flash'>"),
        Page("/p/object", "<object data='/bin/clip.webm'></object>"),
        Page("/p/jsonld",
             "<script type='application/ld+json'>{\"@context\":\"https://schema.org\","
             "\"@type\":\"VideoObject\",\"contentUrl\":\"/media/ld.mp4\"}</script>"),
        Page("/p/anchor",
             "<a href='/image.png'>picture</a> <a href='sub/../../media/a.mp4'>clip</a>"),
        Page("/p/attachment", "<meta property='og:video' content='/bin/get?id=7'>"),
        Page("/p/base", "<head><base href='/media/deep/'></head><video src='b.mp4'></video>"),
        Page("/p/base-abs", "<head><base href='{base}/audio/'></head><a href='x.mp3'>x</a>"),
        Page("/p/dead-first",
             "<video src='/dead.mp4'></video>"
             "<video src='http://127.0.0.1:" +
                 closed +
                 "/x.mp4'></video>"
                 "<a href='/bin/blob'>blob</a><a href='/media/alive.mp4'>alive</a>"),
        Page("/p/none", "<p>Nothing here but <a href='/p/video'>another page</a>.</p>"),
        Page("/p/not-media",
             "<video src='/image.png'></video><embed src='/list.m3u8'>"
             "<a href='/bin/blob.mp4'>missing</a>"),
        Page("/p/local",
             "<video src='file:///etc/passwd'></video>"
             "<meta property='og:video' content='ftp://127.0.0.1/x.mp4'>"),
        Page("/p/via-redirect", "<video src='/r/1'></video>"),
        Page("/p/to-file", "<video src='/to-file'></video>"),
        Page("/p/stall-first", "<video src='/stall.mp4'></video><a href='/media/after.mp4'>x</a>"),
        Page("/p/big", "<video src='/big/movie.mp4'></video>"),
        {{"path", "/p/gone"},
         {"status", 404},
         {"contentType", "text/html"},
         {"body", "<video src='/media/x.mp4'></video>"}},
        {{"target", "/q/page?a=1&b=%26&c=?d%25e"},
         {"contentType", "text/html"},
         {"body", "<video src='/media/q.mp4'></video>"}},
        {{"path", "/huge/early"}, {"contentType", "text/html"}, {"bodyFile", hugeEarly}},
        {{"path", "/huge/late"}, {"contentType", "text/html"}, {"bodyFile", hugeLate}},
        {{"path", "/deep"}, {"contentType", "text/html"}, {"bodyFile", deep}},
        // Redirects.
        Redirect("/r/1", "/r/2"),
        Redirect("/r/2", "{base}/media/r.mp4"),
        Redirect("/r/a/b/page", "/p/source"),
        Redirect("/loop/a", "/loop/b"),
        Redirect("/loop/b", "/loop/a"),
        Redirect("/to-file", "file:///etc/passwd"),
        Redirect("/to-ftp", "ftp://127.0.0.1/x.mp4"),
    };
    for (const QJsonObject& route : routes)
        m_web.AddRoute(route);
    for (int hop = 1; hop <= 10; ++hop)
        m_web.AddRoute(Redirect(QString("/hop/%1").arg(hop), QString("/hop/%1").arg(hop + 1)));
    m_web.AddRoute(Redirect("/hop/11", "/media/hop.mp4"));
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));

    // The built-in rules and the service's surface on their own, with their
    // tight time-outs: no yt-dlp on PATH (tst_ResolverYtDlp covers it).
    qputenv("PATH", QFile::encodeName(m_dir.path()));
    QVERIFY(m_resolver.Start(
        {"--listen", "127.0.0.1:0", "--fetch-timeout", "1.5", "--answer-timeout", "3"}));
}

QByteArray TResolverServiceTest::Expand(QByteArray text) const
{
    return text.replace("{base}", m_web.BaseUrl().toUtf8());
}

QNetworkReply* TResolverServiceTest::Ask(const TResolverProcess& resolver, const QByteArray& link)
{
    // Sent the way the download page sends it: the link appended unescaped.
    const QByteArray target = resolver.Base() + "/get-url/index/link/?link=" + link;
    return m_network.get(QNetworkRequest(QUrl::fromEncoded(target, QUrl::TolerantMode)));
}

QList<TTestHttpAnswer> TResolverServiceTest::AnswersTo(const QByteArray& path) const
{
    QList<qint64> numbers;
    for (const TTestHttpRequest& request : m_web.Requests()) {
        if (request.Path == path)
            numbers.append(request.Number);
    }
    QList<TTestHttpAnswer> answers;
    for (const TTestHttpAnswer& answer : m_web.Answers()) {
        if (numbers.contains(answer.Number))
            answers.append(answer);
    }
    return answers;
}

qsizetype TResolverServiceTest::RequestCount(const QByteArray& path) const
{
    const QList<TTestHttpRequest> requests = m_web.Requests();
    return std::count_if(requests.begin(), requests.end(),
                         [&](const TTestHttpRequest& request) { return request.Path == path; });
}

std::unique_ptr<QTcpSocket> TResolverServiceTest::RawAsk(const TResolverProcess& resolver,
                                                         const QByteArray& link)
{
    // A connection of its own, beside the few a QNetworkAccessManager keeps.
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, resolver.Port());
    socket->write("GET /get-url/index/link/?link=" + link + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                  QByteArray::number(resolver.Port()) + "\r\n\r\n");
    return socket;
}

void TResolverServiceTest::Answers_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("answer");

    const auto row = [](const char* name, const char* link, const char* answer) {
        QTest::newRow(name) << QByteArray(link) << QByteArray(answer);
    };
    // Direct media links.
    row("video file", "{base}/media/direct.mp4", "{base}/media/direct.mp4");
    row("audio file", "{base}/audio/direct.mp3", "{base}/audio/direct.mp3");
    row("octet-stream with a media name", "{base}/bin/clip.webm", "{base}/bin/clip.webm");
    row("octet-stream named by its attachment", "{base}/bin/get", "{base}/bin/get");
    row("octet-stream without a media name", "{base}/bin/blob", "error");
    row("picture", "{base}/image.png", "error");
    row("playlist", "{base}/list.m3u8", "error");
    row("media type on an error status", "{base}/dead.mp4", "error");
    // Each kind of page.
    row("video src", "{base}/p/video", "{base}/media/video.mp4");
    row("first playable source, relative", "{base}/p/source", "{base}/media/source.webm");
    row("audio source", "{base}/p/audio", "{base}/audio/song.mp3");
    row("og:video after a secure_url that is a page", "{base}/p/og", "{base}/media/og.mp4");
    row("og:audio", "{base}/p/og-audio", "{base}/audio/og.mp3");
    row("twitter:player:stream", "{base}/p/twitter", "{base}/media/tw.mp4");
    row("link rel video_src", "{base}/p/link", "{base}/media/rel.flv");
    row("embed", "{base}/p/embed", "{base}/media/embed.flv");
    row("object to an octet-stream media file", "{base}/p/object", "{base}/bin/clip.webm");
    row("json-ld contentUrl", "{base}/p/jsonld", "{base}/media/ld.mp4");
    row("anchor, relative with dot segments", "{base}/p/anchor", "{base}/media/a.mp4");
    row("attachment behind og:video", "{base}/p/attachment", "{base}/bin/get?id=7");
    row("base href, relative", "{base}/p/base", "{base}/media/deep/b.mp4");
    row("base href, absolute", "{base}/p/base-abs", "{base}/audio/x.mp3");
    row("dead candidates before a live one", "{base}/p/dead-first", "{base}/media/alive.mp4");
    row("page without media", "{base}/p/none", "error");
    row("candidates that are not media", "{base}/p/not-media", "error");
    row("local and ftp candidates ignored", "{base}/p/local", "error");
    row("page with an error status", "{base}/p/gone", "error");
    row("missing page", "{base}/p/missing", "error");
    // Redirects.
    row("redirects to media", "{base}/r/1", "{base}/media/r.mp4");
    row("redirect to a page: links relative to where it landed", "{base}/r/a/b/page",
        "{base}/media/source.webm");
    row("candidate behind redirects", "{base}/p/via-redirect", "{base}/media/r.mp4");
    row("ten redirects", "{base}/hop/2", "{base}/media/hop.mp4");
    row("eleven redirects", "{base}/hop/1", "error");
    row("redirect loop", "{base}/loop/a", "error");
    row("redirect to a local file", "{base}/to-file", "error");
    row("redirect to ftp", "{base}/to-ftp", "error");
    row("candidate redirecting to a local file", "{base}/p/to-file", "error");
    // Stalls and dead hosts.
    row("stalling server", "{base}/stall", "error");
    row("stalling candidate, then the next", "{base}/p/stall-first", "{base}/media/after.mp4");
    row("page that never ends", "{base}/drip", "error");
    row("page the parser would take minutes for", "{base}/deep", "error");
    row("host that cannot be reached", "http://127.0.0.1:1/p/video", "error");
    // Not web links at all.
    row("file link", "file:///etc/passwd", "error");
    row("file link to media", "file:///tmp/clip.mp4", "error");
    row("ftp link", "ftp://127.0.0.1/clip.mp4", "error");
    row("no scheme", "127.0.0.1/p/video", "error");
    row("no host", "http:///p/video", "error");
    row("javascript", "javascript:alert(1)", "error");
    row("empty", "", "error");
}

void TResolverServiceTest::Answers()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, answer);
    std::unique_ptr<QNetworkReply> reply(Ask(Expand(link)));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), AskBoundMs);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QCOMPARE(reply->readAll(), Expand(answer));
}

void TResolverServiceTest::LinkSentOnByteForByte()
{
    // The link's own query (with &, ? and %) must reach the page's server as
    // it was typed, not cut at the first & nor decoded.
    const QByteArray link = Expand("{base}/q/page?a=1&b=%26&c=?d%25e");
    std::unique_ptr<QNetworkReply> reply(Ask(link));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), AskBoundMs);
    QCOMPARE(reply->readAll(), Expand("{base}/media/q.mp4"));
    const QList<TTestHttpRequest> requests = m_web.Requests();
    QVERIFY(std::any_of(requests.begin(), requests.end(), [](const TTestHttpRequest& request) {
        return request.Target == "/q/page?a=1&b=%26&c=?d%25e";
    }));

    // A media link with such a query comes back exactly as it went in.
    const QByteArray media = Expand("{base}/media/clip.mp4?token=a%2Fb&x=1?y=%25");
    std::unique_ptr<QNetworkReply> direct(Ask(media));
    QTRY_VERIFY_WITH_TIMEOUT(direct->isFinished(), AskBoundMs);
    QCOMPARE(direct->readAll(), media);
}

void TResolverServiceTest::CandidateCheckReadsOnlyHeaders()
{
    std::unique_ptr<QNetworkReply> reply(Ask(Expand("{base}/p/big")));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), AskBoundMs);
    QCOMPARE(reply->readAll(), Expand("{base}/big/movie.mp4"));
    // The check walked away after the headers instead of fetching 100 MB.
    QTRY_VERIFY_WITH_TIMEOUT(!AnswersTo("/big/movie.mp4").isEmpty(), AskBoundMs);
    const TTestHttpAnswer answer = AnswersTo("/big/movie.mp4").constLast();
    QVERIFY(!answer.Complete);
    QVERIFY2(answer.BodyBytesSent < BigMovieBytes / 2,
             qPrintable(QString::number(answer.BodyBytesSent)));
}

void TResolverServiceTest::HugePageReadOnlyInPart()
{
    std::unique_ptr<QNetworkReply> early(Ask(Expand("{base}/huge/early")));
    QTRY_VERIFY_WITH_TIMEOUT(early->isFinished(), AskBoundMs);
    QCOMPARE(early->readAll(), Expand("{base}/media/huge.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(!AnswersTo("/huge/early").isEmpty(), AskBoundMs);
    QVERIFY(!AnswersTo("/huge/early").constLast().Complete);
    QVERIFY(AnswersTo("/huge/early").constLast().BodyBytesSent < HugePageBytes / 2);

    // Media that only comes after the first 5 MiB is not looked for.
    std::unique_ptr<QNetworkReply> late(Ask(Expand("{base}/huge/late")));
    QTRY_VERIFY_WITH_TIMEOUT(late->isFinished(), AskBoundMs);
    QCOMPARE(late->readAll(), QByteArray("error"));
}

void TResolverServiceTest::SlowPagesDoNotHoldUpOthers()
{
    // A service whose time-outs outlast the test, so that nothing slow ends
    // by itself meanwhile: the quick answers cannot just be lucky timing.
    TResolverProcess patient;
    QVERIFY(patient.Start(
        {"--listen", "127.0.0.1:0", "--fetch-timeout", "120", "--answer-timeout", "120"}));

    // More stalling requests to one host than a client keeps connections to
    // it, a page the parser would need minutes for and one that never ends.
    constexpr int Stalled = 8;
    const qsizetype stalledBefore = RequestCount("/stall");
    const qsizetype deepBefore = RequestCount("/deep");
    const qsizetype dripBefore = RequestCount("/drip");
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < Stalled; ++i)
        slow.push_back(RawAsk(patient, Expand("{base}/stall")));
    slow.push_back(RawAsk(patient, Expand("{base}/deep")));
    slow.push_back(RawAsk(patient, Expand("{base}/drip")));
    // Every slow one is under way at the page's server at the same time.
    QTRY_VERIFY_WITH_TIMEOUT(RequestCount("/stall") == stalledBefore + Stalled &&
                                 RequestCount("/deep") == deepBefore + 1 &&
                                 RequestCount("/drip") == dripBefore + 1,
                             AskBoundMs);

    std::unique_ptr<QNetworkReply> quick(Ask(patient, Expand("{base}/p/video")));
    std::unique_ptr<QNetworkReply> direct(Ask(patient, Expand("{base}/media/quick.mp4")));
    QTRY_VERIFY_WITH_TIMEOUT(quick->isFinished() && direct->isFinished(), AskBoundMs);
    QCOMPARE(quick->readAll(), Expand("{base}/media/video.mp4"));
    QCOMPARE(direct->readAll(), Expand("{base}/media/quick.mp4"));
    for (const auto& socket : slow)
        QCOMPARE(socket->bytesAvailable(), 0);

    // Leaving stops their work (the parser child included).
    for (const auto& socket : slow)
        socket->abort();
    QTRY_COMPARE_WITH_TIMEOUT(patient.Log().count("asker gone"), qsizetype(slow.size()),
                              AskBoundMs);
}

void TResolverServiceTest::AskerLeavingEarly()
{
    std::unique_ptr<QNetworkReply> gone(Ask(Expand("{base}/p/stall-first")));
    QTRY_VERIFY_WITH_TIMEOUT(!AnswersTo("/p/stall-first").isEmpty(), AskBoundMs);
    gone->abort();
    QTRY_VERIFY_WITH_TIMEOUT(m_resolver.Log().contains("asker gone"), AskBoundMs);

    std::unique_ptr<QNetworkReply> next(Ask(Expand("{base}/p/video")));
    QTRY_VERIFY_WITH_TIMEOUT(next->isFinished(), AskBoundMs);
    QCOMPARE(next->readAll(), Expand("{base}/media/video.mp4"));
    QVERIFY(m_resolver.Running());
}

void TResolverServiceTest::FloodOfRequestsIsBounded()
{
    // Raw connections, one more than the service works on at once, all on a
    // stalling page: whichever comes last is turned away at once.
    constexpr int Running = 32;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i <= Running; ++i)
        sockets.push_back(RawAsk(Expand("{base}/stall")));
    const auto answered = [&sockets] {
        return std::count_if(sockets.begin(), sockets.end(),
                             [](const auto& s) { return s->bytesAvailable() > 0; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(answered() >= 1, AskBoundMs);
    QCOMPARE(answered(), 1);
    QVERIFY(m_resolver.Log().contains("requests at once"));
    for (const auto& socket : sockets) {
        if (socket->bytesAvailable() > 0)
            QVERIFY(socket->readAll().endsWith("\r\n\r\nerror"));
    }

    // Once they are answered, new requests are worked on again.
    QTRY_COMPARE_WITH_TIMEOUT(answered(), qsizetype(Running), AskBoundMs);
    std::unique_ptr<QNetworkReply> next(Ask(Expand("{base}/p/video")));
    QTRY_VERIFY_WITH_TIMEOUT(next->isFinished(), AskBoundMs);
    QCOMPARE(next->readAll(), Expand("{base}/media/video.mp4"));
}

void TResolverServiceTest::ServiceSurface()
{
    const QList<QByteArray> otherPaths = {"/", "/get-url/index/link?link=x", "/get-url/index/",
                                          "/get-url/index/link/extra?link=x"};
    for (const QByteArray& path : otherPaths) {
        std::unique_ptr<QNetworkReply> reply(
            m_network.get(QNetworkRequest(QUrl::fromEncoded(m_resolver.Base() + path))));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), AskBoundMs);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
    }

    std::unique_ptr<QNetworkReply> reply(Ask(Expand("{base}/p/twitter")));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), AskBoundMs);
    QVERIFY(reply->header(QNetworkRequest::ContentTypeHeader).toString().startsWith("text/plain"));
    // One log line per request: the link, the answer and the time taken.
    const QByteArray expected =
        "link=" + Expand("{base}/p/twitter") + " answer=" + Expand("{base}/media/tw.mp4") + " ";
    QTRY_VERIFY_WITH_TIMEOUT(m_resolver.Log().contains(expected), AskBoundMs);

    QProcess badListen;
    badListen.start(QStringLiteral(QUORVEX_RESOLVER_PATH), {"--listen", "nowhere"});
    QVERIFY(badListen.waitForFinished(10000));
    QCOMPARE(badListen.exitCode(), 2);
}

QTEST_GUILESS_MAIN(TResolverServiceTest)
#include "tst_ResolverService.moc"
