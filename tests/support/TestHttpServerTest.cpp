// The test server must answer exactly as its routes say, or every test built
// on it proves nothing. These cases read its answers as raw bytes.

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>

#include "TestHttpServer.h"

namespace {

// Sends REQUEST and collects the raw answer until the server closes the
// connection or TIMEOUTMS pass.
QByteArray Exchange(quint16 port, const QByteArray& request, int timeoutMs = 5000)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        answer += socket.readAll();
    }
    answer += socket.readAll();
    return answer;
}

QByteArray Get(const QByteArray& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

}  // namespace

class TestHttpServerTest : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void cutConnectionEndsEarly();
    void stallKeepsConnectionSilent();
    void responsesAnswerInTurn();
    void logHoldsExactRequestLine();
    void keepAliveServesSeveralRequests();
};

void TestHttpServerTest::answers_data()
{
    QTest::addColumn<QByteArray>("route");
    QTest::addColumn<QByteArray>("head");    // must appear in the head
    QTest::addColumn<QByteArray>("absent");  // must not appear in the head
    QTest::addColumn<QByteArray>("body");    // the raw bytes after the head

    QTest::newRow("text with true length")
        << QByteArray(R"({"path": "/a", "body": "hello", "contentType": "text/plain"})")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n")
        << QByteArray("Transfer-Encoding") << QByteArray("hello");
    QTest::newRow("lying length") << QByteArray(
                                         R"({"path": "/a", "body": "hello", "contentLength": 99})")
                                  << QByteArray("Content-Length: 99\r\n")
                                  << QByteArray("Content-Length: 5") << QByteArray("hello");
    QTest::newRow("two lengths, one header each, then close")
        << QByteArray(R"({"path": "/a", "body": "hello", "contentLength": [5, 7]})")
        << QByteArray("Content-Length: 5\r\nContent-Length: 7\r\nConnection: close\r\n")
        << QByteArray("chunked") << QByteArray("hello");
    QTest::newRow("chunked cut leaves out the last chunk")
        << QByteArray(
               R"({"path": "/a", "body": "hello world", "chunked": true, "chunkSize": 5,
                   "cutAfter": 10})")
        << QByteArray("Transfer-Encoding: chunked\r\n") << QByteArray("Content-Length")
        << QByteArray("5\r\nhello\r\n5\r\n worl\r\n");
    QTest::newRow("absent length closes")
        << QByteArray(R"({"path": "/a", "body": "hello", "contentLength": false})")
        << QByteArray("Connection: close\r\n") << QByteArray("Content-Length")
        << QByteArray("hello");
    QTest::newRow("chunked")
        << QByteArray(R"({"path": "/a", "body": "hello world", "chunked": true, "chunkSize": 5})")
        << QByteArray("Transfer-Encoding: chunked\r\n") << QByteArray("Content-Length")
        << QByteArray("5\r\nhello\r\n5\r\n worl\r\n1\r\nd\r\n0\r\n\r\n");
    QTest::newRow("status and base expanded")
        << QByteArray(R"({"path": "/a", "status": 404, "body": "{base}/x"})")
        << QByteArray("HTTP/1.1 404 Not Found\r\n") << QByteArray("200 OK")
        << QByteArray("http://127.0.0.1:PORT/x");
    QTest::newRow("redirect") << QByteArray(R"({"path": "/a", "redirect": "{base}/b"})")
                              << QByteArray(
                                     "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:PORT/b\r\n")
                              << QByteArray("200") << QByteArray();
    QTest::newRow("generated body")
        << QByteArray(R"({"path": "/a", "bodySize": 600})") << QByteArray("Content-Length: 600\r\n")
        << QByteArray("chunked") << TTestHttpServer::GeneratedBody(0, 600);
    QTest::newRow("unknown path") << QByteArray(R"({"path": "/other", "body": "x"})")
                                  << QByteArray("HTTP/1.1 404 Not Found\r\n") << QByteArray("200")
                                  << QByteArray("not found\n");
}

void TestHttpServerTest::answers()
{
    QFETCH(QByteArray, route);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, absent);
    QFETCH(QByteArray, body);

    TTestHttpServer server;
    server.AddRoute(route);
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    const QByteArray port = QByteArray::number(server.Port());
    head.replace("PORT", port);
    body.replace("PORT", port);

    const QByteArray answer = Exchange(server.Port(), Get("/a"));
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    QVERIFY2(headEnd > 0, answer.constData());
    const QByteArray gotHead = answer.left(headEnd + 2);
    QVERIFY2(gotHead.contains(head), gotHead.constData());
    QVERIFY2(!gotHead.contains(absent), gotHead.constData());
    QCOMPARE(answer.mid(headEnd + 4), body);
}

void TestHttpServerTest::cutConnectionEndsEarly()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/a", "bodySize": 1000000, "cutAfter": 70000})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    const QByteArray answer = Exchange(server.Port(), Get("/a"));
    const QByteArray body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    QVERIFY(answer.contains("Content-Length: 1000000\r\n"));
    QCOMPARE(body.size(), 70000);
    QVERIFY(TTestHttpServer::IsGeneratedBody(body));
    QTRY_COMPARE(server.Answers().size(), 1);
    QCOMPARE(server.Answers().first().Complete, false);
}

void TestHttpServerTest::stallKeepsConnectionSilent()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/a", "body": "0123456789", "stallAfter": 4})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    // The answer stops after four body bytes and the connection stays open.
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", server.Port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(Get("/a"));
    QByteArray answer;
    QTRY_VERIFY((answer += socket.readAll()).endsWith("\r\n\r\n0123"));
    QVERIFY(!socket.waitForReadyRead(300));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
}

void TestHttpServerTest::responsesAnswerInTurn()
{
    TTestHttpServer server;
    server.AddRoute(
        R"({"path": "/a", "responses": [{"body": "first"}, {"status": 500, "body": "then"}]})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    QVERIFY(Exchange(server.Port(), Get("/a")).endsWith("\r\n\r\nfirst"));
    for (int i = 0; i < 2; ++i) {
        const QByteArray answer = Exchange(server.Port(), Get("/a"));
        QVERIFY(answer.startsWith("HTTP/1.1 500 "));
        QVERIFY(answer.endsWith("\r\n\r\nthen"));
    }
}

void TestHttpServerTest::logHoldsExactRequestLine()
{
    TTestHttpServer server;
    server.AddRoute(R"({"prefix": "/get", "body": "ok"})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    const QByteArray target = "/get?link=http://h/p?a=1&b=%zz\xc3\xa9";
    Exchange(server.Port(), "GET " + target + " HTTP/1.1\r\nUser-Agent: Probe\r\n\r\n", 500);
    const QList<TTestHttpRequest> requests = server.Requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].RequestLine, "GET " + target + " HTTP/1.1");
    QCOMPARE(requests[0].Target, target);
    QCOMPARE(requests[0].Path, QByteArray("/get"));
    QCOMPARE(requests[0].Header("user-agent"), QByteArray("Probe"));
}

void TestHttpServerTest::keepAliveServesSeveralRequests()
{
    TTestHttpServer server;
    server.AddRoute(R"({"path": "/a", "body": "A"})");
    server.AddRoute(R"({"path": "/b", "body": "BB", "chunked": true})");
    QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
    // Two requests in one write on one connection: two answers in order.
    const QByteArray answer = Exchange(server.Port(), "GET /a HTTP/1.1\r\n\r\n" + Get("/b"));
    QVERIFY2(answer.contains("Content-Length: 1\r\n\r\nA"
                             "HTTP/1.1 200 OK\r\n"),
             answer.constData());
    QVERIFY(answer.endsWith("2\r\nBB\r\n0\r\n\r\n"));
    QCOMPARE(server.Requests().size(), 2);
}

QTEST_GUILESS_MAIN(TestHttpServerTest)
#include "TestHttpServerTest.moc"
