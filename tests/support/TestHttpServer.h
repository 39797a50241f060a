#pragma once

// Starts a testhttpd process for one test (or one test case), reads the port
// it listens on and reads back the requests it has answered.
//
//   TTestHttpServer server;
//   server.AddRoute(R"({"path": "/media.flv", "bodySize": 100000})");
//   QVERIFY2(server.Start(), qPrintable(server.ErrorString()));
//   download(server.Url("/media.flv"));
//   QCOMPARE(server.Requests().size(), 1);
//
// Routes are JSON objects as tests/support/README.md describes them; "{base}"
// in a body, a header or a redirect becomes "http://127.0.0.1:<port>".

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// One request as the server received it.
struct TTestHttpRequest
{
    qint64 Number = 0;
    QByteArray Method;
    QByteArray Target;                          // the request target, exactly as sent
    QByteArray Path;                            // the target before '?'
    QByteArray RequestLine;                     // "GET /x HTTP/1.1", exactly as sent
    QJsonObject Headers;                        // name -> value (values as Latin-1 text)
    QByteArray Header(const char* name) const;  // without regard to case
};

// How the server's answer to one request ended.
struct TTestHttpAnswer
{
    qint64 Number = 0;
    qint64 BodyBytesSent = 0;
    bool Complete = false;  // false: cut, stalled and abandoned, or the client left
};

class TTestHttpServer
{
public:
    TTestHttpServer();
    ~TTestHttpServer();
    TTestHttpServer(const TTestHttpServer&) = delete;
    TTestHttpServer& operator=(const TTestHttpServer&) = delete;

    // Adds a route (a JSON object, as text or parsed). Call before Start().
    void AddRoute(const QByteArray& json);
    void AddRoute(const QJsonObject& route);

    // Starts the server and waits (at most 10 s) for its port.
    bool Start();
    void Stop();
    QString ErrorString() const { return m_error; }

    quint16 Port() const { return m_port; }
    // "http://127.0.0.1:<port>" and that followed by PATH.
    QString BaseUrl() const;
    QString Url(const QString& path) const;

    // Every request received so far, in order, and how the answers ended.
    QList<TTestHttpRequest> Requests() const;
    QList<TTestHttpAnswer> Answers() const;

    // The bytes of a generated body ("bodySize"): byte i is i % 251.
    static QByteArray GeneratedBody(qint64 offset, qint64 size);
    static bool IsGeneratedBody(const QByteArray& bytes, qint64 offset = 0);

    // A port on 127.0.0.1 where nothing listens: an unreachable host.
    static quint16 ClosedPort();

    // The testhttpd executable.
    static QString ExecutablePath();

private:
    QList<QJsonObject> LogEntries() const;

    QList<QJsonObject> m_routes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
