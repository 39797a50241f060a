#include "download/GetInetFileUnit.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

#include "common/JobHostUnit.h"
#include "common/StringFunctionsUnit.h"
#include "common/UserMessageUnit.h"

namespace {

constexpr const char* SizeQueryAgent = "GetUrlSize";
constexpr const char* BrowserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
// What the network layer may hold for us before we read it: keeps memory
// flat however fast the sender is.
constexpr qint64 ReplyBufferSize = 1024 * 1024;
// How often a waiting operation looks at the stop flag even when nothing
// else happens.
constexpr int WakeIntervalMs = 100;
constexpr int MaxRedirects = 20;

int g_StallTimeoutMs = TGetInetFile::DefaultStallTimeoutMs;

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The link as a QUrl, changed as little as a request line allows: escapes
// stay as they are, a '%' that starts no escape is sent as "%25", and what
// cannot appear in a request line at all (blanks, bytes above 0x7E) is
// percent-encoded. An invalid link gives an invalid QUrl.
QUrl LinkToUrl(const std::string& link)
{
    QByteArray encoded;
    encoded.reserve(static_cast<qsizetype>(link.size()) + 8);
    for (size_t i = 0; i < link.size(); ++i) {
        const char c = link[i];
        if (c == '%' &&
            !(i + 2 < link.size() && IsHexDigit(link[i + 1]) && IsHexDigit(link[i + 2])))
            encoded += "%25";
        else
            encoded += c;
    }
    return QUrl::fromEncoded(encoded, QUrl::TolerantMode);
}

bool IsFetchableScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

bool IsRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

int HttpStatus(const QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : 0;
}

// The answer's own Content-Length, or -1.
int64_t ContentLength(const QNetworkReply* reply)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    bool ok = false;
    const qlonglong value = length.toLongLong(&ok);
    return length.isValid() && ok && value >= 0 ? value : -1;
}

// Errors that only say the server answered with an error status: the error
// page still arrives as the body. Qt reports 400 and 418 as an invalid
// protocol operation and 407 as a proxy error, the rest of 4xx and 5xx as
// content and server errors.
bool IsHttpStatusError(const QNetworkReply* reply)
{
    const int code = reply->error();
    return HttpStatus(reply) >= 400 && ((code >= QNetworkReply::ContentAccessDenied &&
                                         code <= QNetworkReply::UnknownContentError) ||
                                        (code >= QNetworkReply::InternalServerError &&
                                         code <= QNetworkReply::UnknownServerError) ||
                                        code == QNetworkReply::ProtocolInvalidOperationError ||
                                        code == QNetworkReply::ProxyAuthenticationRequiredError);
}

// Shows a busy bar while it lives when the size is unknown.
class TBusyBar
{
public:
    TBusyBar(TJobHost& host, bool busy) : m_host(host), m_busy(busy)
    {
        if (m_busy)
            m_host.SetProgressBusy(true);
    }
    ~TBusyBar()
    {
        if (m_busy)
            m_host.SetProgressBusy(false);
    }
    TBusyBar(const TBusyBar&) = delete;
    TBusyBar& operator=(const TBusyBar&) = delete;

private:
    TJobHost& m_host;
    bool m_busy;
};

// The file a body is streamed to: created exclusively beside its final name,
// removed unless Commit() has renamed it to that name.
class TPartFile
{
public:
    explicit TPartFile(const QString& finalName) : m_finalName(finalName) {}
    ~TPartFile()
    {
        if (m_file.isOpen())
            m_file.close();
        if (!m_file.fileName().isEmpty() && !m_committed)
            QFile::remove(m_file.fileName());
    }
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    bool Open()
    {
        const QFileInfo info(m_finalName);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name = info.path() + '/' + '.' + info.fileName() + '.' +
                                 QString::number(QRandomGenerator::global()->generate(), 16) +
                                 ".part";
            m_file.setFileName(name);
            if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                return true;
            if (!QFile::exists(name))
                break;  // the folder is missing or not writable
        }
        m_file.setFileName(QString());
        return false;
    }

    bool Write(const char* data, qint64 size) { return m_file.write(data, size) == size; }

    // Makes the received body the file under its final name.
    bool Commit()
    {
        if (!m_file.flush())
            return false;
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            return false;
        // rename() replaces an existing file of the final name in one step.
        if (std::rename(QFile::encodeName(m_file.fileName()).constData(),
                        QFile::encodeName(m_finalName).constData()) != 0)
            return false;
        m_committed = true;
        return true;
    }

private:
    QString m_finalName;
    QFile m_file;
    bool m_committed = false;
};

}  // namespace

TGetInetFile::TGetInetFile(TJobHost& host)
    : m_host(host),
      m_manager(std::make_unique<QNetworkAccessManager>()),
      m_wake(std::make_unique<QTimer>())
{
    // Wakes every wait now and then, so the stop flag is seen even when
    // nothing else happens.
    m_wake->start(WakeIntervalMs);
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    // No cache is set on the manager: every answer comes from the server.
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

TGetInetFile::~TGetInetFile() = default;

void TGetInetFile::TReplyCloser::operator()(QNetworkReply* reply) const
{
    // Ends the transfer (an abandoned body is not fetched any further) unless
    // it has ended already.
    if (!reply->isFinished() && reply->error() == QNetworkReply::NoError)
        reply->abort();
    reply->deleteLater();
}

void TGetInetFile::SetStallTimeout(int milliseconds)
{
    g_StallTimeoutMs = milliseconds > 0 ? milliseconds : DefaultStallTimeoutMs;
}

bool TGetInetFile::IsFetchableUrl(const std::string& url)
{
    return IsFetchableScheme(LinkToUrl(url));
}

int TGetInetFile::ProgressPercent(int64_t received, int64_t expected)
{
    if (expected <= 0 || received <= 0)
        return 0;
    if (received >= expected)
        return 99;
    // received < expected here, so the quotient is below 100; the product
    // received * 100 only overflows for sizes beyond any disk.
    if (received > std::numeric_limits<int64_t>::max() / 100)
        return 99;
    const int64_t product = received * 100;
    int64_t percent = product / expected;
    const int64_t twiceRest = (product % expected) * 2;
    if (twiceRest > expected || (twiceRest == expected && percent % 2 == 1))
        ++percent;
    return static_cast<int>(std::min<int64_t>(percent, 99));
}

QNetworkReply* TGetInetFile::StartGet(const QUrl& target, TUserAgent agent)
{
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      agent == TUserAgent::SizeQuery ? SizeQueryAgent : BrowserAgent);
    // The body is saved as the server sends it, never unpacked on the way.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Redirects are followed here, hop by hop, so that each one is checked.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(g_StallTimeoutMs);
    QNetworkReply* reply = m_manager->get(request);
    reply->setReadBufferSize(ReplyBufferSize);
    return reply;
}

void TGetInetFile::WaitForActivity()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

TGetInetFile::TOpenResult TGetInetFile::OpenUrl(const std::string& url, TUserAgent agent,
                                                TReplyPtr& reply)
{
    QUrl target = LinkToUrl(url);
    for (int hop = 0;; ++hop) {
        // Every hop must stay on http or https: an answer must never make the
        // program read a local file or speak another protocol.
        if (!IsFetchableScheme(target) || hop > MaxRedirects)
            return TOpenResult::Failed;
        reply.reset(StartGet(target, agent));
        for (;;) {
            if (m_host.StopRequested())
                return TOpenResult::Stopped;
            if (HttpStatus(reply.get()) > 0 || reply->isFinished())
                break;
            WaitForActivity();
        }
        const int status = HttpStatus(reply.get());
        if (status == 0)
            return TOpenResult::Failed;  // no answer: refused, silent, broken
        const QByteArray location = reply->rawHeader("Location").trimmed();
        if (!IsRedirectStatus(status) || location.isEmpty())
            return TOpenResult::Opened;
        // The next hop, relative to this one.
        target = reply->url().resolved(
            LinkToUrl(std::string(location.constData(), static_cast<size_t>(location.size()))));
    }
}

int64_t TGetInetFile::GetUrlSize(const std::string& url)
{
    TReplyPtr reply;
    if (OpenUrl(url, TUserAgent::SizeQuery, reply) != TOpenResult::Opened)
        return 0;
    // The body is never read: closing the reply abandons it.
    return std::max<int64_t>(0, ContentLength(reply.get()));
}

TGetInetFile::TOpenResult TGetInetFile::OpenForReading(const std::string& url, TReplyPtr& reply)
{
    m_host.ProcessMessages();
    if (m_host.StopRequested())
        return TOpenResult::Stopped;
    m_host.ProcessMessages();
    const TOpenResult result = OpenUrl(url, TUserAgent::Browser, reply);
    if (result == TOpenResult::Failed)
        ShowUserMessage(TMessageKind::Warning, MsgInternetError);
    return result;
}

TGetInetFile::TReadResult TGetInetFile::ReadBody(
    QNetworkReply* reply, const std::function<bool(const char* data, int64_t size)>& consume)
{
    std::vector<char> buffer(ReadSize);
    for (;;) {
        if (m_host.StopRequested())
            return TReadResult::Stopped;
        m_host.ProcessMessages();
        const qint64 available = reply->bytesAvailable();
        if (available <= 0) {
            if (reply->isFinished())
                return TReadResult::Ended;
            WaitForActivity();
            continue;
        }
        const qint64 n = reply->read(buffer.data(), std::min<qint64>(available, ReadSize));
        if (n > 0 && !consume(buffer.data(), n))
            return TReadResult::Refused;
    }
}

bool TGetInetFile::DownloadToFile(const std::string& url, const std::string& fileName,
                                  int64_t expectedSize)
{
    TReplyPtr reply;
    if (OpenForReading(url, reply) != TOpenResult::Opened)
        return false;
    // An error page is not the media file.
    if (HttpStatus(reply.get()) >= 400)
        return false;

    const int64_t announced = ContentLength(reply.get());
    if (expectedSize <= 0 && announced > 0)
        expectedSize = announced;
    TPartFile file(QString::fromUtf8(fileName));
    if (!file.Open())
        return false;
    TBusyBar busy(m_host, expectedSize <= 0);
    int64_t received = 0;
    int shown = -1;
    const TReadResult read = ReadBody(reply.get(), [&](const char* data, int64_t size) {
        if (!file.Write(data, size))
            return false;  // the disk is full or the file went away
        received += size;
        if (expectedSize > 0) {
            const int percent = ProgressPercent(received, expectedSize);
            if (percent > shown) {
                shown = percent;
                m_host.SetProgress(percent);
                m_host.ProcessMessages();
            }
        }
        return true;
    });
    if (read != TReadResult::Ended)
        return false;
    // A transfer that broke off or ended short of its length is no file.
    if (reply->error() != QNetworkReply::NoError || (announced >= 0 && received != announced)) {
        ShowUserMessage(TMessageKind::Warning, MsgInternetError);
        return false;
    }
    return file.Commit();
}

bool TGetInetFile::GetUrlText(const std::string& url, std::string& text)
{
    text.clear();
    TReplyPtr reply;
    if (OpenForReading(url, reply) != TOpenResult::Opened)
        return false;
    int64_t received = 0;
    std::string answer;
    const TReadResult read = ReadBody(reply.get(), [&](const char* data, int64_t size) {
        received += size;
        if (received > MaxTextSize)
            return false;  // an answer this long is no link
        // A chunk holding a zero byte gives only what comes before it.
        answer.append(data, static_cast<size_t>(std::find(data, data + size, '\0') - data));
        return true;
    });
    if (read == TReadResult::Refused)
        return false;
    if (read == TReadResult::Ended) {
        const int64_t announced = ContentLength(reply.get());
        const bool broken =
            reply->error() != QNetworkReply::NoError && !IsHttpStatusError(reply.get());
        if (broken || (announced >= 0 && received != announced)) {
            ShowUserMessage(TMessageKind::Warning, MsgInternetError);
            return false;
        }
    }
    // A cancelled fetch gives what had arrived.
    text = TrimString(answer);
    return !text.empty();
}
