#pragma once

// Stands before Qt HttpServer on one connection and reads every request's
// head before the server parses it, for what the server (6.4) lets through:
// - a request target that is not a path ("GET http://other.test/..."),
// - a head whose framing is ambiguous or that announces a body (Content-Length
//   together with Transfer-Encoding would let a second request ride inside
//   the first; no route of this service takes a body),
// - a malformed request line or header line, or a head beyond MaxHeadBytes.
// Such a request is answered 400 (431 for the size) and the connection
// closed; nothing after it reaches the server. A request that asks for the
// connection to end (Connection: close, or any HTTP/1.0 request) has it
// closed once its answer is written.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QTcpSocket;

class THttpRequestGate : public QObject
{
    Q_OBJECT

public:
    // The longest head taken: room for a link of several hundred kilobytes.
    static constexpr qsizetype MaxHeadBytes = 1024 * 1024;

    // Watches SOCKET, whose child it becomes. It must exist before the
    // server connects to the socket, so that it reads each piece first.
    explicit THttpRequestGate(QTcpSocket* socket);

    // Where the refusals are logged (one line each).
    static void SetLog(std::function<void(const QByteArray&)> log);

    // The answer SOCKET waited for has been handed over: a connection that
    // was asked to end after it is closed once it is written.
    static void AnswerFinished(QTcpSocket* socket);

    // The lines of a request head without their line ends (CRLF or LF),
    // the blank line that ends it left out.
    static QList<QByteArray> HeadLines(const QByteArray& head);

    // Why the whole head HEAD (request line and header lines, without the
    // blank line that ends it) is refused, or empty; CLOSEAFTER tells
    // whether the asker wants the connection to end after the answer.
    static QByteArray Refusal(const QByteArray& head, bool* closeAfter);

private:
    void Inspect();
    void Refuse(int status, const QByteArray& why);
    void CloseIfAnswered();
    void Drain();

    QPointer<QTcpSocket> m_socket;
    // The start of a head that has not ended yet (the server has read it too).
    QByteArray m_head;
    bool m_refused = false;
    bool m_closeAfterAnswer = false;
};
