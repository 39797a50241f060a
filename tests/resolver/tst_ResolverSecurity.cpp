// What keeps the resolving service safe on a desktop: which requests it
// serves at all, where a typed link may lead it, and how it holds up when
// connections pile up. The address rules are tested on their own; the rest
// against real quorvex-resolver processes and testhttpd on 127.0.0.1, which
// also plays the proxy through which made-up public names are reached.

#include "RawExchange.h"
#include "ResolverProcess.h"
#include "TestHttpServer.h"
#include "services/resolver/net/AddressPolicy.h"
#include "services/resolver/ytdlp/YtDlpProxy.h"

#include <QtTest>

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int AskBoundMs = 15000;

// COUNT connections, each sending REQUEST; made one after another, so that
// none waits on a full listen queue. Fewer when one cannot be made.
std::vector<std::unique_ptr<QTcpSocket>> Connections(quint16 port, int count,
                                                     const QByteArray& request)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < count; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        if (!socket->waitForConnected(AskBoundMs))
            break;
        socket->write(request);
        sockets.push_back(std::move(socket));
    }
    return sockets;
}

const QByteArray ServiceSecret = "0123456789abcdef0123456789ABCDEF";

QByteArray AskRequest(quint16 port, const QByteArray& link)
{
    return "GET /get-url/index/link/?link=" + link +
           " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n";
}

}  // namespace

class TResolverSecurityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // The address rules.
    void LocalAddresses_data();
    void LocalAddresses();
    void TypedLinkDecides_data();
    void TypedLinkDecides();
    void PublicLinkNeverReachesLocalSpellings_data();
    void PublicLinkNeverReachesLocalSpellings();
    void TypedNameSettlesOnItsFirstLookup();
    void ExtractorProxyKeepsToTheRules_data();
    void ExtractorProxyKeepsToTheRules();

    // The running service.
    void RequestsFromPagesAreRefused_data();
    void RequestsFromPagesAreRefused();
    void ServiceGivenASecret_data();
    void ServiceGivenASecret();
    void PublicLinkNeverLeadsToLocalAddresses_data();
    void PublicLinkNeverLeadsToLocalAddresses();
    void LocalLinkGoesToTheCheckedAddress();
    void HttpDetails_data();
    void HttpDetails();
    void IdleConnectionsAreClosed();
    void ManyIdleConnectionsAgainstFewFiles();
    void BusyJobsAgainstFewFiles();
    void LongLinkReachesTheParser();

private:
    QByteArray Expand(QByteArray text) const
    {
        return text.replace("{base}", m_web.BaseUrl().toUtf8())
            .replace("{port}", QByteArray::number(m_web.BaseUrl().section(':', -1).toInt()));
    }
    qsizetype RequestsContaining(const QByteArray& text) const
    {
        const QList<TTestHttpRequest> requests = m_web.Requests();
        return std::count_if(requests.begin(), requests.end(),
                             [&](const TTestHttpRequest& r) { return r.Target.contains(text); });
    }

    TTestHttpServer m_web;
    TResolverProcess m_resolver;
    // Given a secret on its standard input, which stays open.
    TResolverProcess m_keyed;
    // Reaches the web only through testhttpd as its proxy.
    TResolverProcess m_proxied;
};

namespace {

// Spellings of addresses of this machine or its network, as a page may
// write them ({port}: testhttpd's port, where a request that got through
// would land).
const QList<QByteArray> LocalSpellings = {
    "http://localhost:{port}",
    "http://LOCALHOST.:{port}",
    "http://127.0.0.1:{port}",
    "http://2130706433:{port}",
    "http://0x7f.1:{port}",
    "http://0177.0.0.1:{port}",
    "http://127.1:{port}",
    "http://0.0.0.0:{port}",
    "http://[::ffff:127.0.0.1]:{port}",
    "http://[::ffff:7f00:1]:{port}",
    "http://[::]:{port}",
    "http://[::1]:{port}",
    "http://public.example@127.0.0.1:{port}",
    "http://10.1.2.3:{port}",
    "http://172.16.5.4",
    "http://192.168.0.10:{port}",
    "http://169.254.169.254",
    "http://100.64.0.1",
    "http://[fd00::1]:{port}",
    "http://[fe80::1]:{port}",
    "http://intranet:{port}",
    "http://nas.local:{port}",
    "http://router.home.arpa",
};

}  // namespace

void TResolverSecurityTest::initTestCase()
{
    const QList<QJsonObject> routes = {
        {{"prefix", "/media/"}, {"contentType", "video/mp4"}, {"bodySize", 1000}},
        {{"prefix", "/guard/"}, {"contentType", "video/mp4"}, {"bodySize", 1000}},
        {{"prefix", "/secret/"}, {"contentType", "video/mp4"}, {"bodySize", 1000}},
        {{"prefix", "/home-media/"}, {"contentType", "video/mp4"}, {"bodySize", 1000}},
        {{"path", "/home/page"},
         {"contentType", "text/html"},
         {"body", "<video src='http://localhost:{port}/home-media/a.mp4'></video>"}},
        {{"path", "/long"},
         {"contentType", "text/html"},
         {"body", "<video src='/media/long.mp4'></video>"}},
        {{"path", "/stall"}, {"stall", true}},
        // testhttpd as the proxy: what it serves for the made-up public name.
        {{"prefix", "http://public.example/media/"},
         {"contentType", "video/mp4"},
         {"bodySize", 1000}},
        {{"path", "http://public.example/p/public"},
         {"contentType", "text/html"},
         {"body", "<video src='/media/pub.mp4'></video>"}},
        {{"path", "http://public.example/r/public"},
         {"redirect", "http://public.example/media/r.mp4"}},
    };
    for (const QJsonObject& route : routes)
        m_web.AddRoute(route);
    for (qsizetype i = 0; i < LocalSpellings.size(); ++i) {
        const QString spelling = QString::fromLatin1(LocalSpellings.at(i));
        m_web.AddRoute(QJsonObject{{"path", QString("http://public.example/r/%1").arg(i)},
                                   {"redirect", spelling + QString("/secret/r%1.mp4").arg(i)}});
        m_web.AddRoute(QJsonObject{
            {"path", QString("http://public.example/p/%1").arg(i)},
            {"contentType", "text/html"},
            {"body",
             QString("<video src='%1/secret/p%2.mp4'></video><a href='/media/after%2.mp4'>x</a>")
                 .arg(spelling)
                 .arg(i)}});
    }
    QVERIFY2(m_web.Start(), qPrintable(m_web.ErrorString()));

    QVERIFY(m_resolver.Start({"--listen", "127.0.0.1:0", "--fetch-timeout", "1.5",
                              "--answer-timeout", "3", "--host-name", "MediaBox.example"}));
    m_keyed.SetStandardInput(ServiceSecret + "\n");
    QVERIFY(m_keyed.Start({"--listen", "127.0.0.1:0", "--secret-stdin"}));
    QProcessEnvironment proxied = QProcessEnvironment::systemEnvironment();
    proxied.insert("http_proxy", m_web.BaseUrl());
    proxied.remove("no_proxy");
    proxied.remove("NO_PROXY");
    m_proxied.SetEnvironment(proxied);
    QVERIFY(m_proxied.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "5"}));
}

void TResolverSecurityTest::LocalAddresses_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("local");

    const auto row = [](const char* host, bool local) { QTest::newRow(host) << host << local; };
    row("127.0.0.1", true);
    row("127.255.255.254", true);
    row("2130706433", true);
    row("0x7f.1", true);
    row("0177.0.0.1", true);
    row("127.1", true);
    row("127.0.0.1.", true);
    row("0.0.0.0", true);
    row("0", true);
    row("10.0.0.1", true);
    row("172.16.0.1", true);
    row("172.31.255.255", true);
    row("192.168.1.1", true);
    row("169.254.169.254", true);
    row("100.64.0.1", true);
    row("224.0.0.1", true);
    row("255.255.255.255", true);
    row("::", true);
    row("::1", true);
    row("[::1]", true);
    row("::ffff:127.0.0.1", true);
    row("::ffff:10.0.0.1", true);
    row("::127.0.0.1", true);
    row("64:ff9b::7f00:1", true);
    row("2002:7f00:1::1", true);
    row("2002:c0a8:101::1", true);
    row("fc00::1", true);
    row("fd12:3456::1", true);
    row("fe80::1", true);
    row("fec0::1", true);
    row("ff02::1", true);
    // Public neighbours of the local ranges.
    row("8.8.8.8", false);
    row("172.15.255.255", false);
    row("172.32.0.1", false);
    row("100.128.0.1", false);
    row("11.0.0.1", false);
    row("192.169.0.1", false);
    row("::ffff:8.8.8.8", false);
    row("64:ff9b::808:808", false);
    row("2002:808:808::1", false);
    row("2001:4860:4860::8888", false);
}

void TResolverSecurityTest::LocalAddresses()
{
    QFETCH(QString, host);
    QFETCH(bool, local);
    const QHostAddress address = LiteralAddress(host);
    QVERIFY2(!address.isNull(), qPrintable(host));
    QCOMPARE(IsLocalNetworkAddress(address), local);
}

void TResolverSecurityTest::TypedLinkDecides_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<bool>("allowsLocal");

    QTest::newRow("loopback address") << QByteArray("http://127.0.0.1:8080/x") << true;
    QTest::newRow("home server address") << QByteArray("http://192.168.1.20/movies/") << true;
    QTest::newRow("address in decimal") << QByteArray("http://2130706433/") << true;
    QTest::newRow("IPv6 loopback") << QByteArray("http://[::1]:8200/") << true;
    QTest::newRow("localhost") << QByteArray("http://localhost:8200/") << true;
    QTest::newRow("mDNS name") << QByteArray("http://nas.local:8200/") << true;
    QTest::newRow("one-label name") << QByteArray("http://mediabox/") << true;
    QTest::newRow("public address") << QByteArray("http://93.184.216.34/") << false;
    QTest::newRow("public IPv6") << QByteArray("https://[2001:4860:4860::8888]/") << false;
    QTest::newRow("public name") << QByteArray("https://video.example.org/watch") << false;
}

void TResolverSecurityTest::TypedLinkDecides()
{
    QFETCH(QByteArray, link);
    QFETCH(bool, allowsLocal);
    const TAddressPolicy policy = TAddressPolicy::ForTypedLink(QUrl::fromEncoded(link));
    QCOMPARE(policy.AllowsLocal(), allowsLocal);
    QCOMPARE(policy.AllowsAddress(QHostAddress("127.0.0.1")), allowsLocal);
    QCOMPARE(policy.AllowsAddress(QHostAddress("10.1.1.1")), allowsLocal);
    QVERIFY(policy.AllowsAddress(QHostAddress("93.184.216.34")));
}

void TResolverSecurityTest::PublicLinkNeverReachesLocalSpellings_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<bool>("allowed");

    for (const QByteArray& spelling : LocalSpellings) {
        // Names that only DNS could answer for stay out of the test.
        const QByteArray url = QByteArray(spelling).replace("{port}", "8080") + "/x.mp4";
        if (url.contains("nas.local") || url.contains("home.arpa") || url.contains("intranet") ||
            url.contains("LOCALHOST."))
            continue;
        QTest::newRow(url.constData()) << url << false;
    }
    QTest::newRow("public address") << QByteArray("http://93.184.216.34/x.mp4") << true;
    QTest::newRow("public IPv6") << QByteArray("http://[2001:4860:4860::8888]/x.mp4") << true;
}

void TResolverSecurityTest::PublicLinkNeverReachesLocalSpellings()
{
    QFETCH(QByteArray, url);
    QFETCH(bool, allowed);
    const TAddressPolicy policy =
        TAddressPolicy::ForTypedLink(QUrl("https://video.example.org/watch"));
    QString why;
    QCOMPARE(policy.AllowsUrl(QUrl::fromEncoded(url, QUrl::TolerantMode), &why), allowed);
    if (!allowed)
        QVERIFY2(why.startsWith("refused: "), qPrintable(why));
    // A name is judged by what it resolves to.
    if (url.startsWith("http://localhost"))
        QVERIFY2(why.contains("127.0.0.1"), qPrintable(why));
}

void TResolverSecurityTest::TypedNameSettlesOnItsFirstLookup()
{
    const QList<QHostAddress> home = {QHostAddress("192.168.1.20")};
    const QList<QHostAddress> publicAddress = {QHostAddress("93.184.216.34")};
    const QList<QHostAddress> loopback = {QHostAddress("127.0.0.1")};

    // The typed name is a server of the home network: the job may stay there.
    TAddressPolicy nas = TAddressPolicy::ForTypedLink(QUrl("http://nas.example.net/"));
    QVERIFY(!nas.AllowsLocal());
    QVERIFY(nas.Admit("nas.example.net", home));
    QVERIFY(nas.AllowsLocal());
    QVERIFY(nas.Admit("other.example.net", loopback));

    // The typed name is public: a later answer that points it home (DNS
    // rebinding) is refused, as is any other name that points there.
    TAddressPolicy site = TAddressPolicy::ForTypedLink(QUrl("https://video.example.org/"));
    QVERIFY(site.Admit("video.example.org", publicAddress));
    QString why;
    QVERIFY(!site.Admit("video.example.org", loopback, &why));
    QCOMPARE(why, QString("refused: video.example.org is 127.0.0.1, an address of this machine or "
                          "its network"));
    QVERIFY(!site.Admit("cdn.example.org", home));
    QVERIFY(!site.AllowsLocal());

    // A name answering both public and local addresses could connect to
    // either: refused, and the typed name is settled as public.
    TAddressPolicy mixed = TAddressPolicy::ForTypedLink(QUrl("https://mixed.example.org/"));
    QVERIFY(!mixed.Admit("mixed.example.org", publicAddress + loopback));
    QVERIFY(!mixed.Admit("mixed.example.org", loopback));
    QVERIFY(!mixed.Admit("cdn.example.org", {}));
}

void TResolverSecurityTest::ExtractorProxyKeepsToTheRules_data()
{
    QTest::addColumn<QByteArray>("typed");     // the link being resolved; empty: none yet
    QTest::addColumn<QByteArray>("request");   // what yt-dlp sends the proxy
    QTest::addColumn<int>("status");           // of the answer yt-dlp gets
    QTest::addColumn<QByteArray>("tunneled");  // sent through a CONNECT tunnel, when not empty
    QTest::addColumn<QByteArray>("path");      // whether testhttpd saw it: status 200

    const QByteArray publicLink = "http://public.example/watch";
    const QByteArray localLink = "{base}/watch";
    const auto get = [](const QByteArray& origin, const QByteArray& path) {
        return "GET " + origin + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    };
    const QByteArray connect =
        "CONNECT 127.0.0.1:{port} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n";
    const QByteArray inner = "GET /media/through.mp4 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const auto row = [](const char* name, const QByteArray& typed, const QByteArray& request,
                        int status, const QByteArray& tunneled, const char* path) {
        QTest::newRow(name) << typed << request << status << tunneled << QByteArray(path);
    };
    row("public link, loopback address", publicLink,
        get("http://127.0.0.1:{port}", "/media/px1.mp4"), 403, {}, "px1");
    row("public link, another spelling", publicLink, get("http://0x7f.1:{port}", "/media/px2.mp4"),
        403, {}, "px2");
    row("public link, IPv4-mapped", publicLink,
        get("http://[::ffff:127.0.0.1]:{port}", "/media/px3.mp4"), 403, {}, "px3");
    row("public link, localhost", publicLink, get("http://localhost:{port}", "/media/px4.mp4"), 403,
        {}, "px4");
    row("public link, tunnel to loopback", publicLink, connect, 403, inner, "through");
    row("public link, private network", publicLink, get("http://10.1.2.3", "/media/px5.mp4"), 403,
        {}, "px5");
    row("no link yet", {}, get("http://127.0.0.1:{port}", "/media/px6.mp4"), 403, {}, "px6");
    row("not a proxy request", localLink, get("", "/media/px7.mp4"), 400, {}, "px7");
    // A link typed for this machine may lead here, to the checked address.
    row("local link, loopback address", localLink, get("http://localhost:{port}", "/media/px8.mp4"),
        200, {}, "px8");
    row("local link, tunnel", localLink, connect, 200, inner, "through");
}

void TResolverSecurityTest::ExtractorProxyKeepsToTheRules()
{
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, tunneled);
    QFETCH(QByteArray, path);

    const qsizetype before = RequestsContaining(path);
    TYtDlpProxy proxy;
    QVERIFY(proxy.Listen());
    if (!typed.isEmpty())
        proxy.SetPolicy(TAddressPolicy::ForTypedLink(QUrl::fromEncoded(Expand(typed))), AskBoundMs);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, QUrl(proxy.Url()).port());
    QVERIFY(socket.waitForConnected(AskBoundMs));
    socket.write(Expand(request));
    QByteArray received;
    const auto answered = [&] {
        received += socket.readAll();
        return received.contains("\r\n\r\n");
    };
    QTRY_VERIFY_WITH_TIMEOUT(answered(), AskBoundMs);
    int got = received.mid(9, 3).toInt();
    if (!tunneled.isEmpty() && got == 200) {
        // Past the proxy's own answer, the origin's.
        QVERIFY(received.startsWith("HTTP/1.1 200 Connection established\r\n\r\n"));
        received.clear();
        socket.write(tunneled);
        QTRY_VERIFY_WITH_TIMEOUT(answered(), AskBoundMs);
        got = received.mid(9, 3).toInt();
    }
    QCOMPARE(got, status);
    QCOMPARE(RequestsContaining(path) > before, status == 200);
}

void TResolverSecurityTest::RequestsFromPagesAreRefused_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");

    const QByteArray ask = "/get-url/index/link/?link={base}/guard/";
    const auto row = [&](const char* name, const QByteArray& path, const char* headers,
                         int status) {
        QTest::newRow(name) << path << QByteArray(headers) << status;
    };
    // The program, curl and other clients on this desktop.
    row("address and port", ask, "Host: 127.0.0.1:{rport}\r\n", 200);
    row("localhost and port", ask, "Host: localhost:{rport}\r\n", 200);
    row("LOCALHOST and port", ask, "Host: LOCALHOST:{rport}\r\n", 200);
    row("the user's own navigation", ask, "Host: 127.0.0.1:{rport}\r\nSec-Fetch-Site: none\r\n",
        200);
    row("a name it was given", ask, "Host: mediabox.example:{rport}\r\n", 200);
    row("unknown path, right host", "/other", "Host: 127.0.0.1:{rport}\r\n", 404);
    // DNS rebinding: a page's own name pointed at this service.
    row("another name", ask, "Host: attacker.example:{rport}\r\n", 403);
    row("a name under localhost's address", ask, "Host: rebind.127.0.0.1.example:{rport}\r\n", 403);
    row("a name it was given, another port", ask, "Host: mediabox.example:1\r\n", 403);
    row("localhost without the port", ask, "Host: localhost\r\n", 403);
    row("address without the port", ask, "Host: 127.0.0.1\r\n", 403);
    row("another port", ask, "Host: 127.0.0.1:1\r\n", 403);
    row("another loopback address", ask, "Host: 127.0.0.2:{rport}\r\n", 403);
    row("IPv6 loopback", ask, "Host: [::1]:{rport}\r\n", 403);
    row("no Host", ask, "", 403);
    row("two Hosts", ask, "Host: 127.0.0.1:{rport}\r\nHost: attacker.example:{rport}\r\n", 403);
    row("another name on an unknown path", "/other", "Host: attacker.example:{rport}\r\n", 403);
    // A page's fetch, form or picture aimed at the service.
    row("Origin of a site", ask, "Host: 127.0.0.1:{rport}\r\nOrigin: https://attacker.example\r\n",
        403);
    row("Origin null", ask, "Host: 127.0.0.1:{rport}\r\nOrigin: null\r\n", 403);
    row("Origin of the service itself", ask,
        "Host: 127.0.0.1:{rport}\r\norigin: http://127.0.0.1:{rport}\r\n", 403);
    row("cross-site", ask, "Host: 127.0.0.1:{rport}\r\nSec-Fetch-Site: cross-site\r\n", 403);
    row("same-site", ask, "Host: 127.0.0.1:{rport}\r\nSec-Fetch-Site: same-site\r\n", 403);
    row("same-origin", ask, "Host: 127.0.0.1:{rport}\r\nsec-fetch-site: same-origin\r\n", 403);
    row("Origin on an unknown path", "/other", "Host: 127.0.0.1:{rport}\r\nOrigin: null\r\n", 403);
}

void TResolverSecurityTest::RequestsFromPagesAreRefused()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, headers);
    QFETCH(int, status);

    // Each row asks for a link of its own, to tell whether it was fetched.
    static int rowNumber = 0;
    const QByteArray media = "row" + QByteArray::number(++rowNumber) + ".mp4";
    const QByteArray port = QByteArray::number(m_resolver.Port());
    path = Expand(path);
    if (path.contains("/guard/"))
        path += media;
    headers.replace("{rport}", port);
    const TRawAnswer answer =
        Exchange(m_resolver.Port(), "GET " + path + " HTTP/1.1\r\n" + headers + "\r\n");
    QCOMPARE(answer.Status, status);
    if (status == 200)
        QCOMPARE(answer.Body, Expand("{base}/guard/") + media);
    if (status == 403) {
        QCOMPARE(answer.Body, QByteArray("error"));
        QCOMPARE(RequestsContaining(media), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_resolver.Log().contains(" 403 "), AskBoundMs);
    }
}

void TResolverSecurityTest::ServiceGivenASecret_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");

    const QByteArray host = "Host: 127.0.0.1:{rport}\r\n";
    QTest::newRow("the secret") << host + "X-Quorvex-Key: " + ServiceSecret + "\r\n" << 200;
    QTest::newRow("the secret, header name in lower case")
        << host + "x-quorvex-key: " + ServiceSecret + "\r\n"
        << 200;
    QTest::newRow("the user's navigation, no secret") << host + ChromiumNavigationHeaders << 403;
    QTest::newRow("no secret") << host << 403;
    QTest::newRow("a wrong secret") << host + "X-Quorvex-Key: 0123456789abcdef0123456789ABCDEE\r\n"
                                    << 403;
    QTest::newRow("the secret's first half")
        << host + "X-Quorvex-Key: " + ServiceSecret.left(16) + "\r\n"
        << 403;
    QTest::newRow("the secret and a wrong one")
        << host + "X-Quorvex-Key: " + ServiceSecret + "\r\nX-Quorvex-Key: x\r\n"
        << 403;
    QTest::newRow("the secret, but from a page")
        << host + "X-Quorvex-Key: " + ServiceSecret + "\r\nOrigin: null\r\n"
        << 403;
}

void TResolverSecurityTest::ServiceGivenASecret()
{
    QFETCH(QByteArray, headers);
    QFETCH(int, status);

    static int rowNumber = 0;
    const QByteArray media = "keyed" + QByteArray::number(++rowNumber) + ".mp4";
    headers.replace("{rport}", QByteArray::number(m_keyed.Port()));
    const QByteArray link = Expand("{base}/guard/") + media;
    const TRawAnswer answer = Exchange(m_keyed.Port(), "GET /get-url/index/link/?link=" + link +
                                                           " HTTP/1.1\r\n" + headers + "\r\n");
    QCOMPARE(answer.Status, status);
    QCOMPARE(answer.Body, status == 200 ? link : QByteArray("error"));
    if (status == 403)
        QCOMPARE(RequestsContaining(media), 0);
}

void TResolverSecurityTest::PublicLinkNeverLeadsToLocalAddresses_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("forbidden");

    // What the proxy serves for the public name works.
    QTest::newRow("public page") << QByteArray("http://public.example/p/public")
                                 << QByteArray("http://public.example/media/pub.mp4")
                                 << QByteArray("/secret/");
    QTest::newRow("public redirect")
        << QByteArray("http://public.example/r/public")
        << QByteArray("http://public.example/media/r.mp4") << QByteArray("/secret/");
    for (qsizetype i = 0; i < LocalSpellings.size(); ++i) {
        const QByteArray n = QByteArray::number(i);
        QTest::newRow(("redirect to " + LocalSpellings.at(i)).constData())
            << "http://public.example/r/" + n << QByteArray("error") << "/secret/r" + n + ".mp4";
        QTest::newRow(("candidate at " + LocalSpellings.at(i)).constData())
            << "http://public.example/p/" + n << "http://public.example/media/after" + n + ".mp4"
            << "/secret/p" + n + ".mp4";
    }
}

void TResolverSecurityTest::PublicLinkNeverLeadsToLocalAddresses()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, forbidden);
    const TRawAnswer got = Exchange(m_proxied.Port(), AskRequest(m_proxied.Port(), link));
    QCOMPARE(got.Status, 200);
    QCOMPARE(got.Body, answer);
    // Neither directly nor through the proxy.
    QCOMPARE(RequestsContaining(forbidden), 0);
}

void TResolverSecurityTest::LocalLinkGoesToTheCheckedAddress()
{
    // A typed link on this machine may lead to its other names; the name
    // is looked up once and the request goes to that address, the name
    // riding along in Host.
    const TRawAnswer got =
        Exchange(m_resolver.Port(), AskRequest(m_resolver.Port(), Expand("{base}/home/page")));
    QCOMPARE(got.Body, Expand("http://localhost:{port}/home-media/a.mp4"));
    const QList<TTestHttpRequest> requests = m_web.Requests();
    const auto checked = std::find_if(requests.begin(), requests.end(), [](const auto& request) {
        return request.Path == "/home-media/a.mp4";
    });
    QVERIFY(checked != requests.end());
    QCOMPARE(checked->Header("Host"), Expand("localhost:{port}"));
}

void TResolverSecurityTest::HttpDetails_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<int>>("statuses");       // of the answers, in order
    QTest::addColumn<bool>("closed");               // the service closes the connection after them
    QTest::addColumn<QByteArrayList>("unfetched");  // links that must never be fetched

    const QByteArray host = "Host: 127.0.0.1:{rport}\r\n";
    const QByteArray ask = "/get-url/index/link/?link={base}/guard/";
    const auto get = [&](const QByteArray& path, const QByteArray& version = "HTTP/1.1") {
        return "GET " + path + " " + version + "\r\n" + host;
    };
    const auto row = [](const char* name, const QByteArray& request, QList<int> statuses,
                        bool closed, const QByteArrayList& unfetched = {}) {
        QTest::newRow(name) << request << statuses << closed << unfetched;
    };
    // Kept alive: two requests in one go, two answers, still open.
    row("HTTP/1.1 keeps the connection", get("/other") + "\r\n" + get("/other") + "\r\n",
        {404, 404}, false);
    row("a request sent in two pieces",
        get(ask + "split.mp4").left(30) + "|" + get(ask + "split.mp4").mid(30) + "\r\n", {200},
        false);
    row("Connection: close", get(ask + "close.mp4") + "Connection: close\r\n\r\n", {200}, true);
    row("Connection: keep-alive, Close", get("/other") + "Connection: keep-alive, Close\r\n\r\n",
        {404}, true);
    row("HTTP/1.0", get(ask + "old.mp4", "HTTP/1.0") + "\r\n", {200}, true);
    row("nothing after HTTP/1.0's request is served",
        get("/other", "HTTP/1.0") + "\r\n" + get(ask + "behind-http10.mp4") + "\r\n", {404}, true,
        {"behind-http10.mp4"});
    row("Content-Length: 0", get(ask + "zero.mp4") + "Content-Length: 0\r\n\r\n", {200}, false);
    // Refused with 400, and nothing after them is taken.
    row("absolute-form target",
        "GET http://other.test" + ask + "absolute.mp4 HTTP/1.1\r\n" + host + "\r\n", {400}, true,
        {"absolute.mp4"});
    row("authority-form target", "CONNECT 127.0.0.1:{port} HTTP/1.1\r\n" + host + "\r\n", {400},
        true);
    const QByteArray smuggled = "0\r\n\r\n" + get(ask + "smuggled.mp4") + "\r\n";
    row("Content-Length and Transfer-Encoding",
        get(ask + "framed.mp4") + "Content-Length: " + QByteArray::number(smuggled.size()) +
            "\r\nTransfer-Encoding: chunked\r\n\r\n" + smuggled,
        {400}, true, {"framed", "smuggled"});
    row("Transfer-Encoding and Content-Length",
        get(ask + "framed2.mp4") + "Transfer-Encoding: chunked\r\nContent-Length: 4\r\n\r\n" +
            smuggled,
        {400}, true, {"framed", "smuggled"});
    row("a chunked body",
        get(ask + "framed-chunked.mp4") + "Transfer-Encoding: chunked\r\n\r\n" + smuggled, {400},
        true, {"framed", "smuggled"});
    row("a body", get(ask + "framed-body.mp4") + "Content-Length: 5\r\n\r\nhello", {400}, true,
        {"framed", "smuggled"});
    row("two Content-Lengths",
        get(ask + "framed-twice.mp4") + "Content-Length: 0\r\nContent-Length: 0\r\n\r\n", {400},
        true, {"framed", "smuggled"});
    row("a folded header line",
        get(ask + "framed-fold.mp4") + "X-A: 1\r\n Transfer-Encoding: chunked\r\n\r\n", {400}, true,
        {"framed", "smuggled"});
    row("a blank before the colon", get(ask + "framed-blank.mp4") + "Content-Length : 9\r\n\r\n",
        {400}, true, {"framed", "smuggled"});
    row("HTTP/2.0", get(ask + "framed-two.mp4", "HTTP/2.0") + "\r\n", {400}, true,
        {"framed", "smuggled"});
    row("a second request after a refused one",
        "GET http://other.test/ HTTP/1.1\r\n" + host + "\r\n" + get(ask + "next.mp4") + "\r\n",
        {400}, true, {"next.mp4"});
}

void TResolverSecurityTest::HttpDetails()
{
    QFETCH(QByteArray, request);
    QFETCH(QList<int>, statuses);
    QFETCH(bool, closed);
    QFETCH(QByteArrayList, unfetched);

    request = Expand(request).replace("{rport}", QByteArray::number(m_resolver.Port()));
    const QList<QByteArray> pieces = request.split('|');
    bool wasClosed = false;
    QList<TRawAnswer> answers;
    if (pieces.size() == 1) {
        answers = Converse(m_resolver.Port(), request, statuses.size(), closed, &wasClosed);
    } else {
        // The second piece once the first has gone out on its own.
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_resolver.Port());
        QVERIFY(socket.waitForConnected(AskBoundMs));
        socket.write(pieces.at(0));
        QVERIFY(socket.waitForBytesWritten(AskBoundMs));
        QTest::qWait(50);  // lets the service read the first piece by itself
        socket.write(pieces.at(1));
        QByteArray received;
        TRawAnswer answer;
        QTRY_VERIFY_WITH_TIMEOUT(
            (received += socket.readAll(), ParseRawAnswer(received, &answer) > 0), AskBoundMs);
        answers.append(answer);
    }
    QList<int> got;
    for (const TRawAnswer& answer : answers)
        got.append(answer.Status);
    QCOMPARE(got, statuses);
    QCOMPARE(wasClosed, closed);
    for (const QByteArray& link : unfetched)
        QCOMPARE(RequestsContaining(link), 0);
    if (statuses.contains(400)) {
        QCOMPARE(answers.first().Body, QByteArray("error"));
        QTRY_VERIFY_WITH_TIMEOUT(m_resolver.Log().contains(" 400 ("), AskBoundMs);
    }
}

void TResolverSecurityTest::IdleConnectionsAreClosed()
{
    TResolverProcess quick;
    QVERIFY(quick.Start({"--listen", "127.0.0.1:0", "--idle-timeout", "0.3", "--fetch-timeout",
                         "1.5", "--answer-timeout", "3"}));
    const auto connect = [&quick](const QByteArray& bytes) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, quick.Port());
        socket->write(bytes);
        return socket;
    };
    auto silent = connect("");
    auto halfRequest = connect("GET /get-url/index/li");
    // Waiting longer than the idle time for its answer is not idleness.
    auto waiting = connect(AskRequest(quick.Port(), Expand("{base}/stall")));
    QTRY_COMPARE_WITH_TIMEOUT(silent->state(), QAbstractSocket::UnconnectedState, AskBoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(halfRequest->state(), QAbstractSocket::UnconnectedState, AskBoundMs);
    QTRY_VERIFY_WITH_TIMEOUT(waiting->bytesAvailable() > 0, AskBoundMs);
    QVERIFY(waiting->readAll().endsWith("\r\n\r\nerror"));
    // Once answered, the kept-alive connection is idle again.
    QTRY_COMPARE_WITH_TIMEOUT(waiting->state(), QAbstractSocket::UnconnectedState, AskBoundMs);
}

void TResolverSecurityTest::ManyIdleConnectionsAgainstFewFiles()
{
    // More idle connections than the service may open files: the service
    // must still answer a newcomer (not spin on a failing accept, nor wait
    // for the idle time-out).
    TResolverProcess limited;
    limited.SetOpenFileLimit(256);
    QVERIFY(limited.Start({"--listen", "127.0.0.1:0", "--idle-timeout", "600"}));
    const auto idle = Connections(limited.Port(), 300, "");
    QCOMPARE(idle.size(), size_t(300));

    for (int round = 0; round < 3; ++round) {
        const QByteArray link = Expand("{base}/media/crowded") + QByteArray::number(round) + ".mp4";
        const TRawAnswer got = Exchange(limited.Port(), AskRequest(limited.Port(), link));
        QCOMPARE(got.Status, 200);
        QCOMPARE(got.Body, link);
    }
    // Room was made by closing the connections idle the longest.
    QTRY_COMPARE_WITH_TIMEOUT(idle.front()->state(), QAbstractSocket::UnconnectedState, AskBoundMs);
    QVERIFY(limited.Running());
}

void TResolverSecurityTest::BusyJobsAgainstFewFiles()
{
    // Stalled jobs take descriptors too (sockets, threads, pipes): once too
    // few are left, new work is turned away at once instead of the service
    // being ended by a library that finds none, and taken up again after.
    TResolverProcess limited;
    limited.SetOpenFileLimit(96);
    QVERIFY(limited.Start({"--listen", "127.0.0.1:0", "--answer-timeout", "2"}));
    const auto stalled =
        Connections(limited.Port(), 40, AskRequest(limited.Port(), Expand("{base}/stall")));
    QCOMPARE(stalled.size(), size_t(40));
    QTRY_VERIFY_WITH_TIMEOUT(limited.Log().contains("too few free file descriptors"), AskBoundMs);
    for (const auto& socket : stalled)
        QTRY_VERIFY_WITH_TIMEOUT(socket->bytesAvailable() > 0, AskBoundMs);
    QVERIFY(limited.Running());

    const QByteArray link = Expand("{base}/media/after-the-crowd.mp4");
    const TRawAnswer got = Exchange(limited.Port(), AskRequest(limited.Port(), link));
    QCOMPARE(got.Body, link);
}

void TResolverSecurityTest::LongLinkReachesTheParser()
{
    // Longer than one argument of a command line may be (128 KiB).
    const QByteArray link = Expand("{base}/long?") + QByteArray(300 * 1024, 'a');
    const TRawAnswer got = Exchange(m_resolver.Port(), AskRequest(m_resolver.Port(), link));
    QVERIFY2(got.Status == 200, m_resolver.Log().right(300).constData());
    QCOMPARE(got.Body, Expand("{base}/media/long.mp4"));
}

QTEST_GUILESS_MAIN(TResolverSecurityTest)
#include "tst_ResolverSecurity.moc"
