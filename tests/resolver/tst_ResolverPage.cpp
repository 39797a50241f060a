// What the resolver finds on a page and what it counts as media, without any
// network: the parser's candidate list, the media rules, the request's link.

#include "base/ResolverProtocol.h"
#include "services/resolver/ResolverServer.h"
#include "services/resolver/net/MediaTypes.h"
#include "services/resolver/page/PageCandidates.h"
#include "services/resolver/page/ScriptMediaLinks.h"

#include <QtTest>

class TResolverPageTest : public QObject
{
    Q_OBJECT

private slots:
    void Candidates_data();
    void Candidates();
    void DeepAndBrokenPages();
    void ScriptScanIsBounded();
    void ReasonHeader_data();
    void ReasonHeader();
    void MediaResponse_data();
    void MediaResponse();
    void LinkOfQuery_data();
    void LinkOfQuery();
    void ListenAddress_data();
    void ListenAddress();
};

namespace {

const QUrl PageUrl("http://site.test/watch/page.html?id=7");

QStringList Strings(const std::vector<QUrl>& urls)
{
    QStringList out;
    for (const QUrl& url : urls)
        out << url.toString(QUrl::FullyEncoded);
    return out;
}

}  // namespace

void TResolverPageTest::Candidates_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("video src, relative to the page")
        << QByteArray("<video src='clip.mp4'></video>")
        << QStringList{"http://site.test/watch/clip.mp4"};
    QTest::newRow("audio source without a type")
        << QByteArray("<audio controls><source src='/a/song.mp3'></audio>")
        << QStringList{"http://site.test/a/song.mp3"};
    QTest::newRow("sources: streams kept as candidates, order kept")
        << QByteArray(
               "<video><source src='s.m3u8' type='application/x-mpegURL'>"
               "<source src='s.mpd' type='application/dash+xml'>"
               "<source src='s.webm' type='video/webm; codecs=\"vp9\"'>"
               "<source src='s.mp4' type='video/mp4'></video>")
        << QStringList{"http://site.test/watch/s.m3u8", "http://site.test/watch/s.mpd",
                       "http://site.test/watch/s.webm", "http://site.test/watch/s.mp4"};
    QTest::newRow("source outside a media element is not one")
        << QByteArray("<picture><source src='p.mp4'></picture>") << QStringList{};
    QTest::newRow("og meta in preference order, not page order")
        << QByteArray(
               "<head><meta property='og:audio' content='/o/a.mp3'>"
               "<meta property='og:video' content='/o/v.mp4'>"
               "<meta property='og:video:url' content='/o/u.mp4'>"
               "<meta property='og:video:secure_url' content='https://cdn.test/s.mp4'>"
               "</head>")
        << QStringList{"https://cdn.test/s.mp4", "http://site.test/o/u.mp4",
                       "http://site.test/o/v.mp4", "http://site.test/o/a.mp3"};
    QTest::newRow("meta by name, key in any case")
        << QByteArray("<meta name='OG:Video' content='http://m.test/x'>")
        << QStringList{"http://m.test/x"};
    QTest::newRow("twitter stream, then link video_src")
        << QByteArray(
               "<link rel='image_src video_src' href='/l.flv'>"
               "<meta name='twitter:player:stream' content='/t.mp4'>")
        << QStringList{"http://site.test/t.mp4", "http://site.test/l.flv"};
    QTest::newRow("embed and object only to media files")
        << QByteArray(
               "<embed src='player.swf'><embed src='/e/movie.FLV'>"
               "<object data='/o/clip.mov?x=1'></object><object data='/o/page'></object>")
        << QStringList{"http://site.test/e/movie.FLV", "http://site.test/o/clip.mov?x=1"};
    QTest::newRow("json-ld contentUrl, nested and in arrays")
        << QByteArray(
               "<script type='application/ld+json'>{\"@graph\":[{\"@type\":\"WebPage\"},"
               "{\"@type\":\"VideoObject\",\"contentUrl\":\"/j/v.mp4\"}]}</script>"
               "<script type='application/ld+json'>[{\"contentUrl\":[\"/j/w.webm\"]}]"
               "</script><script type='application/ld+json'>{broken</script>")
        << QStringList{"http://site.test/j/v.mp4", "http://site.test/j/w.webm"};
    QTest::newRow("anchors only to media extensions, query ignored")
        << QByteArray(
               "<a href='/about'>a</a><a href='/f/track.mp3?dl=1'>b</a>"
               "<a href='/f/notes.mp4.html'>c</a><a href='/f/x.3gp'>d</a>")
        << QStringList{"http://site.test/f/track.mp3?dl=1", "http://site.test/f/x.3gp"};
    QTest::newRow("every kind: strict group order")
        << QByteArray(
               "<a href='/5.mp4'></a><script type='application/ld+json'>"
               "{\"contentUrl\":\"/4.mp4\"}</script><embed src='/3.mp4'>"
               "<link rel='video_src' href='/2b.mp4'>"
               "<meta property='twitter:player:stream' content='/2a.mp4'>"
               "<meta property='og:video' content='/1.mp4'><video src='/0.mp4'></video>")
        << QStringList{"http://site.test/0.mp4",  "http://site.test/1.mp4",
                       "http://site.test/2a.mp4", "http://site.test/2b.mp4",
                       "http://site.test/3.mp4",  "http://site.test/4.mp4",
                       "http://site.test/5.mp4"};
    QTest::newRow("base href, relative to the page itself")
        << QByteArray(
               "<head><base href='../media/'><base href='/ignored/'></head>"
               "<video src='v.mp4'></video><a href='/abs.mp3'></a>")
        << QStringList{"http://site.test/media/v.mp4", "http://site.test/abs.mp3"};
    QTest::newRow("absolute base on another host")
        << QByteArray("<base href='https://cdn.test/files/'><video src='v.webm'></video>")
        << QStringList{"https://cdn.test/files/v.webm"};
    QTest::newRow("protocol-relative link takes the page's scheme")
        << QByteArray("<video src='//cdn.test/v.mp4'></video>")
        << QStringList{"http://cdn.test/v.mp4"};
    QTest::newRow("entities decoded, blanks trimmed")
        << QByteArray("<video src='  /v.mp4?a=1&amp;b=2 '></video>")
        << QStringList{"http://site.test/v.mp4?a=1&b=2"};
    QTest::newRow("only web links: file, ftp, data, javascript dropped")
        << QByteArray(
               "<video src='file:///etc/passwd.mp4'></video>"
               "<meta property='og:video' content='ftp://f.test/v.mp4'>"
               "<a href='data:video/mp4;base64,AAAA'></a><a href='javascript:x()//.mp4'></a>"
               "<a href='HTTPS://ok.test/v.mp4'></a>")
        << QStringList{"https://ok.test/v.mp4"};
    QTest::newRow("the same link once, at its best place")
        << QByteArray(
               "<a href='/v.mp4'></a><meta property='og:video' content='/v.mp4'>"
               "<video src='http://site.test/v.mp4'></video>")
        << QStringList{"http://site.test/v.mp4"};
    QTest::newRow("empty src and page without media")
        << QByteArray("<video src=''></video><p>nothing <a href='/x.html'>here</a></p>")
        << QStringList{};
    // Players set up by the page's own scripts.
    QTest::newRow("script: hls.js loadSource, relative to the page")
        << QByteArray(
               "<video id=v></video><script>var hls = new Hls();"
               "hls.loadSource('hls/index.m3u8'); hls.attachMedia(v);</script>")
        << QStringList{"http://site.test/watch/hls/index.m3u8"};
    QTest::newRow("script: dash.js initialize, relative to <base>")
        << QByteArray(
               "<base href='/media/'><script>dashjs.MediaPlayer().create()"
               ".initialize(document.querySelector('video'), \"x.mpd\", true);</script>")
        << QStringList{"http://site.test/media/x.mpd"};
    QTest::newRow("script: player set-up with src and file, escapes undone")
        << QByteArray(
               "<script type='module'>player.setup({file: 'https:\\/\\/cdn.test\\/a.mp4?t=1',"
               "sources: [{src: \"/b\\u002Fc.webm\"}], poster: 'p.jpg'});</script>")
        << QStringList{"https://cdn.test/a.mp4?t=1", "http://site.test/b/c.webm"};
    QTest::newRow("script links come after every other candidate")
        << QByteArray("<script>load('/s.mp4')</script><a href='/a.mp3'>a</a>")
        << QStringList{"http://site.test/a.mp3", "http://site.test/s.mp4"};
    QTest::newRow("script: no other schemes, words, templates or external scripts")
        << QByteArray(
               "<script src='/player.mp4'></script><script>"
               "a('ftp://h/x.mp4'); b('javascript:x.mp4'); c('see the clip.mp4 here');"
               "d(`/${id}.mp4`); e('video.mp4.html'); f('.mp4'); g('/ok.mp3')</script>")
        << QStringList{"http://site.test/ok.mp3"};
    QTest::newRow("script: an unclosed quote ends with its line")
        << QByteArray("<script>// don't\nplay(\"/next.ogg\")</script>")
        << QStringList{"http://site.test/next.ogg"};
}

void TResolverPageTest::Candidates()
{
    QFETCH(QByteArray, html);
    QFETCH(QStringList, expected);
    QCOMPARE(Strings(FindMediaCandidates(html, PageUrl)), expected);
}

void TResolverPageTest::DeepAndBrokenPages()
{
    // A page nested far deeper than any real one, unclosed tags and NUL bytes
    // must neither crash the parser walk nor hide the media link.
    QByteArray deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<div>";
    deep += "<video src='/deep.mp4'>";
    QCOMPARE(Strings(FindMediaCandidates(deep, PageUrl)), QStringList{"http://site.test/deep.mp4"});

    QByteArray broken("<html><body><p><video src='/b.mp4'");
    broken += '\0';
    broken += "></video><a href='/c.mp3'";
    QCOMPARE(Strings(FindMediaCandidates(broken, PageUrl)).value(0),
             QString("http://site.test/b.mp4"));
    QVERIFY(FindMediaCandidates(QByteArray(), PageUrl).empty());
}

// A page that fills its scripts with links, or hides one far into a huge
// script, costs a bounded amount of work.
void TResolverPageTest::ScriptScanIsBounded()
{
    QByteArray many = "<script>";
    for (int i = 0; i < 1000; ++i)
        many += "p('/v" + QByteArray::number(i) + ".mp4');";
    many += "</script>";
    const QStringList links = Strings(FindMediaCandidates(many, PageUrl));
    QCOMPARE(links.size(), qsizetype(TScriptMediaLinks::MaxLinks));
    QCOMPARE(links.first(), QString("http://site.test/v0.mp4"));

    QByteArray late = "<script>var pad = '" + QByteArray(TScriptMediaLinks::MaxScriptBytes, 'x') +
                      "'; p('/late.mp4');</script><script>p('/later.mp4')</script>";
    QVERIFY(FindMediaCandidates(late, PageUrl).empty());
}

// The reason beside "error": one line, bounded, and read back by the program.
void TResolverPageTest::ReasonHeader_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("unreachable");
    QTest::addColumn<QByteArray>("words");
    const QByteArray refused = QByteArray::fromStdString(ResolverReasonValue(
        TResolverReason::ConnectionRefused, "the server at h:9\r\nSet-Cookie: x refused"));
    QTest::newRow("line breaks in the words become blanks")
        << refused << true << true << QByteArray("the server at h:9  Set-Cookie: x refused");
    QTest::newRow("404 is no connection problem")
        << QByteArray("http-status; the page answered 404 Not Found") << true << false
        << QByteArray("the page answered 404 Not Found");
    QTest::newRow("no words") << QByteArray(" stalled ") << true << true << QByteArray();
    QTest::newRow("unknown code") << QByteArray("gremlins; who knows") << false << false
                                  << QByteArray();
    // 511 bytes of 'a', then a two-byte character across the bound.
    const std::string longWords = std::string(511, 'a') + "\xc3\xa9" + std::string(100, 'b');
    QTest::newRow("cut before a character, not inside it")
        << QByteArray::fromStdString(ResolverReasonValue(TResolverReason::NoMedia, longWords))
        << true << false << QByteArray(511, 'a');
}

void TResolverPageTest::ReasonHeader()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, known);
    QFETCH(bool, unreachable);
    QFETCH(QByteArray, words);
    QVERIFY(!value.contains('\n') && !value.contains('\r'));
    const std::optional<TResolverReasonValue> reason = ParseResolverReason(value.toStdString());
    QCOMPARE(reason.has_value(), known);
    if (!reason)
        return;
    QCOMPARE(IsUnreachableReason(reason->Reason), unreachable);
    QCOMPARE(QByteArray::fromStdString(reason->Words), words);
}

void TResolverPageTest::MediaResponse_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<bool>("media");
    QTest::addColumn<bool>("page");

    QTest::newRow("video type") << QByteArray("video/mp4") << "http://h/x" << QByteArray() << true
                                << false;
    QTest::newRow("audio type, parameters, case") << QByteArray(" Audio/MPEG; charset=binary")
                                                  << "http://h/x" << QByteArray() << true << false;
    QTest::newRow("playlist is not media")
        << QByteArray("audio/x-mpegurl") << "http://h/x.mp3" << QByteArray() << false << false;
    QTest::newRow("ogg container")
        << QByteArray("application/ogg") << "http://h/x" << QByteArray() << true << false;
    QTest::newRow("octet-stream with media extension")
        << QByteArray("application/octet-stream") << "http://h/v/clip.WEBM?sig=1" << QByteArray()
        << true << false;
    QTest::newRow("octet-stream, extension only in the query")
        << QByteArray("application/octet-stream") << "http://h/get?f=clip.mp4" << QByteArray()
        << false << false;
    QTest::newRow("octet-stream, attachment named as media")
        << QByteArray("application/octet-stream") << "http://h/get?id=3"
        << QByteArray("attachment; filename=\"My Clip.mp4\"") << true << false;
    QTest::newRow("octet-stream, encoded attachment name")
        << QByteArray("application/octet-stream") << "http://h/get"
        << QByteArray("attachment; filename*=UTF-8''%C3%A9t%C3%A9.m4a") << true << false;
    QTest::newRow("octet-stream without any media name")
        << QByteArray("application/octet-stream") << "http://h/file.zip" << QByteArray() << false
        << false;
    QTest::newRow("no type, media name")
        << QByteArray() << "http://h/a.wav" << QByteArray() << true << false;
    QTest::newRow("no type, no media name: read as a page")
        << QByteArray() << "http://h/watch" << QByteArray() << false << true;
    QTest::newRow("html page") << QByteArray("text/html; charset=UTF-8") << "http://h/v.mp4"
                               << QByteArray() << false << true;
    QTest::newRow("xhtml page") << QByteArray("application/xhtml+xml") << "http://h/"
                                << QByteArray() << false << true;
    QTest::newRow("picture") << QByteArray("image/png") << "http://h/x.mp4" << QByteArray() << false
                             << false;
    QTest::newRow("bare extension is no file name")
        << QByteArray("application/octet-stream") << "http://h/.mp4" << QByteArray() << false
        << false;
}

void TResolverPageTest::MediaResponse()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QString, url);
    QFETCH(QByteArray, disposition);
    QFETCH(bool, media);
    QFETCH(bool, page);
    QCOMPARE(IsMediaResponse(contentType, QUrl(url), disposition), media);
    if (!media)
        QCOMPARE(IsPageResponse(contentType, QUrl(url)), page);
}

void TResolverPageTest::LinkOfQuery_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("link");

    QTest::newRow("plain") << QByteArray("link=http://h/p") << QByteArray("http://h/p");
    QTest::newRow("the link's own query stays whole")
        << QByteArray("link=http://h/p?a=1&b=%26&link=2?c")
        << QByteArray("http://h/p?a=1&b=%26&link=2?c");
    QTest::newRow("after another key")
        << QByteArray("x=1&link=http://h/") << QByteArray("http://h/");
    QTest::newRow("no link key") << QByteArray("url=http://h/") << QByteArray();
    QTest::newRow("key inside a value is no key") << QByteArray("xlink=http://h/") << QByteArray();
    QTest::newRow("empty link") << QByteArray("link=") << QByteArray();
}

void TResolverPageTest::LinkOfQuery()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, link);
    QCOMPARE(TResolverServer::LinkOfQuery(query), link);
}

void TResolverPageTest::ListenAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    QTest::newRow("loopback") << "127.0.0.1:8790" << true << "127.0.0.1" << 8790;
    QTest::newRow("any port") << "127.0.0.1:0" << true << "127.0.0.1" << 0;
    QTest::newRow("ipv6 in brackets") << "[::1]:9000" << true << "::1" << 9000;
    QTest::newRow("localhost") << "localhost:80" << true << "127.0.0.1" << 80;
    QTest::newRow("bare ipv6") << "::1:9000" << false << "" << 0;
    QTest::newRow("no port") << "127.0.0.1" << false << "" << 0;
    QTest::newRow("port too big") << "127.0.0.1:65536" << false << "" << 0;
    QTest::newRow("port not a number") << "127.0.0.1:http" << false << "" << 0;
    QTest::newRow("host name") << "example.test:80" << false << "" << 0;
}

void TResolverPageTest::ListenAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, address);
    QFETCH(int, port);
    QHostAddress parsedAddress;
    quint16 parsedPort = 1;
    QCOMPARE(ParseListenAddress(text, &parsedAddress, &parsedPort), valid);
    if (valid) {
        QCOMPARE(parsedAddress.toString(), address);
        QCOMPARE(int(parsedPort), port);
    }
}

QTEST_GUILESS_MAIN(TResolverPageTest)
#include "tst_ResolverPage.moc"
