#include "services/resolver/server/HttpRequestGate.h"

#include "services/resolver/server/ConnectionListener.h"

#include <QTcpSocket>

#include <utility>

namespace {

std::function<void(const QByteArray&)>& Log()
{
    static std::function<void(const QByteArray&)> log;
    return log;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the head in TEXT ends (just past its blank line), or -1. Lines may
// end in CRLF or in LF alone, as the server takes them.
qsizetype HeadEnd(const QByteArray& text, qsizetype from)
{
    for (qsizetype i = std::max<qsizetype>(from, 0); i < text.size(); ++i) {
        if (text[i] != '\n')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '\n')
            return i + 2;
        if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

QByteArray StatusLine(int status)
{
    return status == 431 ? "431 Request Header Fields Too Large" : "400 Bad Request";
}

}  // namespace

THttpRequestGate::THttpRequestGate(QTcpSocket* socket) : QObject(socket), m_socket(socket)
{
    connect(socket, &QTcpSocket::readyRead, this, &THttpRequestGate::Inspect);
}

void THttpRequestGate::SetLog(std::function<void(const QByteArray&)> log)
{
    Log() = std::move(log);
}

void THttpRequestGate::AnswerFinished(QTcpSocket* socket)
{
    THttpRequestGate* gate = socket ? socket->findChild<THttpRequestGate*>() : nullptr;
    // After the answer has been written, in this turn of the event loop.
    if (gate && gate->m_closeAfterAnswer)
        QMetaObject::invokeMethod(gate, &THttpRequestGate::CloseIfAnswered, Qt::QueuedConnection);
}

QList<QByteArray> THttpRequestGate::HeadLines(const QByteArray& head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray THttpRequestGate::Refusal(const QByteArray& head, bool* closeAfter)
{
    const QList<QByteArray> lines = HeadLines(head);
    if (lines.isEmpty())
        return "no request line";

    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty())
        return "a malformed request line";
    const QByteArray& version = parts[2];
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return "not an HTTP/1.0 or HTTP/1.1 request";
    // Only the origin form: a target naming another host ("http://other.test/")
    // or an authority ("CONNECT host:443") is not a request to this service.
    if (!parts[1].startsWith('/'))
        return "the request target is not a path";
    *closeAfter = version == "HTTP/1.0";

    int lengths = 0;
    bool transferEncoding = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        // A continuation line (obsolete folding) would be read differently by
        // different parsers.
        if (colon <= 0 || IsBlank(line.front()) || IsBlank(line[colon - 1]))
            return "a malformed header line";
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            ++lengths;
            bool ok = false;
            const qulonglong length = value.toULongLong(&ok);
            if (!ok || value.startsWith('+'))
                return "a malformed Content-Length";
            if (length > 0)
                return "a request body (no request of this service takes one)";
        } else if (name == "transfer-encoding") {
            transferEncoding = true;
        } else if (name == "connection") {
            for (const QByteArray& token : value.split(',')) {
                if (token.trimmed().compare("close", Qt::CaseInsensitive) == 0)
                    *closeAfter = true;
            }
        }
    }
    if (transferEncoding && lengths > 0)
        return "both Content-Length and Transfer-Encoding";
    if (transferEncoding)
        return "a request body (no request of this service takes one)";
    if (lengths > 1)
        return "more than one Content-Length";
    return {};
}

void THttpRequestGate::Inspect()
{
    if (!m_socket)
        return;
    if (m_refused) {
        // The asker goes on sending after its refusal.
        Drain();
        m_socket->abort();
        return;
    }
    if (m_closeAfterAnswer && m_head.isEmpty()) {
        // Nothing after the request that ends the connection is served.
        Drain();
        return;
    }
    QByteArray data = m_socket->peek(m_socket->bytesAvailable());
    if (m_head.isEmpty()) {
        // The server skips the blanks between requests as well.
        qsizetype start = 0;
        while (start < data.size() && IsBlank(data[start]))
            ++start;
        data.remove(0, start);
        if (data.isEmpty())
            return;
    }
    const qsizetype seen = m_head.size();
    const QByteArray text = m_head + data;
    const qsizetype end = HeadEnd(text, seen - 2);
    if (end < 0) {
        if (text.size() > MaxHeadBytes) {
            Refuse(431,
                   "a request head longer than " + QByteArray::number(MaxHeadBytes) + " bytes");
            return;
        }
        // The server reads this much and waits for the rest, as this does.
        m_head = text;
        return;
    }
    m_head.clear();
    if (end > MaxHeadBytes) {
        Refuse(431, "a request head longer than " + QByteArray::number(MaxHeadBytes) + " bytes");
        return;
    }
    bool closeAfter = false;
    const QByteArray why = Refusal(text.left(end), &closeAfter);
    if (!why.isEmpty()) {
        Refuse(400, why);
        return;
    }
    // The server takes this request next, and any that follows it on a
    // later pass, which comes back here first.
    if (closeAfter) {
        m_closeAfterAnswer = true;
        QMetaObject::invokeMethod(this, &THttpRequestGate::CloseIfAnswered, Qt::QueuedConnection);
    }
}

void THttpRequestGate::Refuse(int status, const QByteArray& why)
{
    m_refused = true;
    Drain();
    if (Log())
        Log()(StatusLine(status).left(3) + " (" + why + ")");
    // The program reads only the body: "error" keeps a refusal a failure.
    m_socket->write("HTTP/1.1 " + StatusLine(status) +
                    "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 5\r\n"
                    "Connection: close\r\n\r\nerror");
    m_socket->disconnectFromHost();
}

void THttpRequestGate::CloseIfAnswered()
{
    if (m_socket && m_closeAfterAnswer && !TConnectionListener::IsAnswerPending(m_socket) &&
        m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();  // after what is left to write
}

void THttpRequestGate::Drain()
{
    if (!m_socket)
        return;
    // What the server has read of an unfinished request is let go as well.
    if (m_socket->isTransactionStarted())
        m_socket->commitTransaction();
    m_socket->skip(m_socket->bytesAvailable());
}
