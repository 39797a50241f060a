// What keeps the resolving service safe on a desktop: which requests it
// serves at all, where a typed link may lead it, and how it holds up when
// connections pile up. The address rules are tested on their own; the rest
// against real quorvex-resolver processes and testhttpd on 127.0.0.1, which
// also plays the proxy through which made-up public names are reached.

#include "ResolverProcess.h"
#include "TestHttpServer.h"
#include "services/resolver/net/AddressPolicy.h"

#include <QtTest>

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int AskBoundMs = 15000;

struct TRawAnswer
{
    int Status = 0;
    QByteArray Body;
};

// Sends REQUEST (the bytes of a whole HTTP request) on a connection of its
// own and reads the answer, which carries a Content-Length.
TRawAnswer Exchange(quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(AskBoundMs))
        return {};
    socket.write(request);
    QDeadlineTimer deadline(AskBoundMs);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired() &&
           socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
    }
    QByteArray received;
    while (!deadline.hasExpired()) {
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            const QByteArray head = received.left(headEnd).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0
                       : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            if (received.size() >= headEnd + 4 + length) {
                TRawAnswer answer;
                answer.Status = received.mid(9, 3).toInt();
                answer.Body = received.mid(headEnd + 4, length);
                return answer;
            }
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        if (socket.bytesAvailable() > 0 ||
            socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            received += socket.readAll();
    }
    return {};
}

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

    // The running service.
    void RequestsFromPagesAreRefused_data();
    void RequestsFromPagesAreRefused();
    void PublicLinkNeverLeadsToLocalAddresses_data();
    void PublicLinkNeverLeadsToLocalAddresses();
    void LocalLinkGoesToTheCheckedAddress();
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
