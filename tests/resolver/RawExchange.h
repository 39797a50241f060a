#pragma once

// A raw HTTP client for the resolver's tests: the request's bytes exactly as
// written, the answer's bytes exactly as they come.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>

// The headers Chromium sends with a link the user opens from another program
// (a mail or chat program): the user's own navigation.
inline const QByteArray ChromiumNavigationHeaders =
    "Sec-Fetch-Site: none\r\nSec-Fetch-Mode: navigate\r\nSec-Fetch-User: ?1\r\n"
    "Sec-Fetch-Dest: document\r\nUpgrade-Insecure-Requests: 1\r\n"
    "User-Agent: Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/156.0.0.0 Safari/537.36\r\n"
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
    "Accept-Encoding: gzip, deflate, br\r\nAccept-Language: en-US,en;q=0.9\r\n";

struct TRawAnswer
{
    int Status = 0;
    QByteArray Head;
    QByteArray Body;
};

// The first whole answer at the start of RECEIVED (one with a Content-Length),
// and its size in bytes; 0 while it is not all there.
inline qsizetype ParseRawAnswer(const QByteArray& received, TRawAnswer* answer)
{
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return 0;
    const QByteArray head = received.left(headEnd).toLower();
    const qsizetype at = head.indexOf("content-length:");
    const qsizetype length =
        at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
    if (received.size() < headEnd + 4 + length)
        return 0;
    answer->Status = received.mid(9, 3).toInt();
    answer->Head = received.left(headEnd);
    answer->Body = received.mid(headEnd + 4, length);
    return headEnd + 4 + length;
}

// Sends REQUEST (the bytes of a whole HTTP request) on a connection of its
// own and reads the answer, which carries a Content-Length.
inline TRawAnswer Exchange(quint16 port, const QByteArray& request, int boundMs = 15000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(boundMs))
        return {};
    socket.write(request);
    QDeadlineTimer deadline(boundMs);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired() &&
           socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
    }
    QByteArray received;
    while (!deadline.hasExpired()) {
        TRawAnswer answer;
        if (ParseRawAnswer(received, &answer) > 0)
            return answer;
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        if (socket.bytesAvailable() > 0 ||
            socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            received += socket.readAll();
    }
    return {};
}

// Sends REQUEST on a connection of its own and reads answers until the
// service closes the connection or BOUNDMS pass (UNTILCLOSED), or until
// COUNT answers came (not UNTILCLOSED). CLOSED tells whether the service
// closed it meanwhile.
inline QList<TRawAnswer> Converse(quint16 port, const QByteArray& request, qsizetype count,
                                  bool untilClosed, bool* closed, int boundMs = 5000)
{
    QList<TRawAnswer> answers;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    *closed = false;
    if (!socket.waitForConnected(boundMs))
        return answers;
    socket.write(request);
    QByteArray received;
    QDeadlineTimer deadline(boundMs);
    while (!deadline.hasExpired()) {
        received += socket.readAll();
        TRawAnswer answer;
        while (const qsizetype used = ParseRawAnswer(received, &answer)) {
            answers.append(answer);
            received.remove(0, used);
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        if (!untilClosed && answers.size() >= count)
            break;
        socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    *closed = socket.state() == QAbstractSocket::UnconnectedState;
    return answers;
}
