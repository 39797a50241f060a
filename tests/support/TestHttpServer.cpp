#include "TestHttpServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

QByteArray TTestHttpRequest::Header(const char* name) const
{
    for (auto it = Headers.begin(); it != Headers.end(); ++it) {
        if (it.key().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return it.value().toString().toLatin1();
    }
    return {};
}

TTestHttpServer::TTestHttpServer() = default;

TTestHttpServer::~TTestHttpServer()
{
    Stop();
}

void TTestHttpServer::AddRoute(const QByteArray& json)
{
    AddRoute(QJsonDocument::fromJson(json).object());
}

void TTestHttpServer::AddRoute(const QJsonObject& route)
{
    m_routes.append(route);
}

bool TTestHttpServer::Start()
{
    Stop();
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        m_error = "cannot create a temporary folder";
        return false;
    }
    QJsonArray routes;
    for (const QJsonObject& r : m_routes)
        routes.append(r);
    QFile config(m_dir->filePath("routes.json"));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QJsonDocument(QJsonObject{{"routes", routes}}).toJson()) < 0) {
        m_error = "cannot write " + config.fileName();
        return false;
    }
    config.close();

    m_process.setProgram(ExecutablePath());
    m_process.setArguments(
        {"--config", config.fileName(), "--log", m_dir->filePath("requests.log")});
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_error = "cannot start " + ExecutablePath() + ": " + m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (!m_process.canReadLine()) {
                m_error = "testhttpd gave no port: " +
                          QString::fromLocal8Bit(m_process.readAllStandardError());
                Stop();
                return false;
            }
        }
    }
    m_port = m_process.readLine().trimmed().toUShort();
    if (m_port == 0) {
        m_error = "testhttpd printed no port";
        Stop();
        return false;
    }
    return true;
}

void TTestHttpServer::Stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_port = 0;
}

QString TTestHttpServer::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString TTestHttpServer::Url(const QString& path) const
{
    return BaseUrl() + path;
}

QList<QJsonObject> TTestHttpServer::LogEntries() const
{
    QList<QJsonObject> entries;
    if (!m_dir)
        return entries;
    QFile log(m_dir->filePath("requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return entries;
    while (!log.atEnd()) {
        const QByteArray line = log.readLine().trimmed();
        if (!line.isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    }
    return entries;
}

QList<TTestHttpRequest> TTestHttpServer::Requests() const
{
    QList<TTestHttpRequest> requests;
    for (const QJsonObject& o : LogEntries()) {
        if (o.contains("event"))
            continue;
        TTestHttpRequest r;
        r.Number = o.value("n").toInteger();
        r.Method = o.value("method").toString().toLatin1();
        r.Target = o.value("target").toString().toLatin1();
        r.Path = o.value("path").toString().toLatin1();
        r.RequestLine = o.value("requestLine").toString().toLatin1();
        r.Headers = o.value("headers").toObject();
        requests.append(r);
    }
    return requests;
}

QList<TTestHttpAnswer> TTestHttpServer::Answers() const
{
    QList<TTestHttpAnswer> answers;
    for (const QJsonObject& o : LogEntries()) {
        if (o.value("event").toString() != "end")
            continue;
        answers.append({o.value("n").toInteger(), o.value("bodyBytesSent").toInteger(),
                        o.value("complete").toBool()});
    }
    return answers;
}

QByteArray TTestHttpServer::GeneratedBody(qint64 offset, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((offset + i) % 251);
    return bytes;
}

bool TTestHttpServer::IsGeneratedBody(const QByteArray& bytes, qint64 offset)
{
    for (qint64 i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != static_cast<char>((offset + i) % 251))
            return false;
    }
    return true;
}

quint16 TTestHttpServer::ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QString TTestHttpServer::ExecutablePath()
{
    const QByteArray fromEnvironment = qgetenv("QUORVEX_TESTHTTPD");
    return fromEnvironment.isEmpty() ? QStringLiteral(QUORVEX_TESTHTTPD_PATH)
                                     : QString::fromLocal8Bit(fromEnvironment);
}
