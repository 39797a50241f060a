#include "download/GetInetFileUnit.h"

#include <QByteArray>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>

#include "base/PartFile.h"
#include "base/ResolverProtocol.h"
#include "common/JobHostUnit.h"
#include "common/StringFunctionsUnit.h"
#include "common/UserMessageUnit.h"
#include "download/HttpExchangeUnit.h"

namespace {

constexpr const char* SizeQueryAgent = "GetUrlSize";
constexpr const char* BrowserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
// How often the window hears of the bytes received.
constexpr int64_t TransferReportMs = 100;

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

// Whether A and B name the same scheme, host and port.
bool SameOrigin(const QUrl& a, const QUrl& b)
{
    const QString scheme = a.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https") ? 443 : 80;
    return scheme == b.scheme().toLower() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(defaultPort) == b.port(defaultPort);
}

std::string StatusText(const THttpHead& head)
{
    return std::to_string(head.Status) + (head.Reason.empty() ? "" : " " + head.Reason);
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

}  // namespace

TGetInetFile::TGetInetFile(TJobHost& host) : m_host(host) {}

TGetInetFile::~TGetInetFile() = default;

void TGetInetFile::SetStallTimeout(int milliseconds)
{
    g_StallTimeoutMs = milliseconds > 0 ? milliseconds : DefaultStallTimeoutMs;
}

void TGetInetFile::SetServiceKey(const std::string& base, const std::string& key)
{
    m_serviceBase = base;
    m_serviceKey = key;
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

TGetInetFile::TOpenResult TGetInetFile::OpenUrl(const std::string& url, TUserAgent agent,
                                                std::unique_ptr<THttpExchange>& exchange)
{
    m_failure.clear();
    m_answerHead = THttpHead();
    QUrl target = LinkToUrl(url);
    for (int hop = 0;; ++hop) {
        // Every hop must stay on http or https: an answer must never make the
        // program read a local file or speak another protocol.
        if (!IsFetchableScheme(target)) {
            m_failure = (hop == 0 ? "the link is not an http or https link: "
                                  : "a redirect leads to a link that is not http or https: ") +
                        target.toString().toStdString();
            return TOpenResult::Failed;
        }
        if (hop > MaxRedirects) {
            m_failure = "more than " + std::to_string(MaxRedirects) + " redirects";
            return TOpenResult::Failed;
        }
        exchange =
            std::make_unique<THttpExchange>(m_host, std::max(g_StallTimeoutMs, m_answerWaitMs));
        const std::string encoded = target.toEncoded().toStdString();
        // The service's secret goes to the service alone, whichever hop leads there.
        const bool toService =
            !m_serviceKey.empty() && SameOrigin(target, LinkToUrl(m_serviceBase));
        const std::string keyHeader =
            toService ? std::string(ResolverSecretHeader) + ": " + m_serviceKey : std::string();
        if (!exchange->Start(encoded,
                             agent == TUserAgent::SizeQuery ? SizeQueryAgent : BrowserAgent,
                             keyHeader)) {
            m_failure = exchange->FailureReason();
            return TOpenResult::Failed;
        }
        switch (exchange->WaitForHead()) {
            case THttpExchange::TResult::Done:
                break;
            case THttpExchange::TResult::Stopped:
                return TOpenResult::Stopped;
            default:
                m_failure = exchange->FailureReason();
                return TOpenResult::Failed;
        }
        const THttpHead& head = exchange->Head();
        if (!head.IsRedirect() || !head.HasLocation) {
            m_answerHead = head;
            return TOpenResult::Opened;
        }
        // The next hop, relative to this one.
        target = target.resolved(LinkToUrl(head.Location));
    }
}

std::string TGetInetFile::AnswerField(const std::string& name) const
{
    return m_answerHead.Field(name);
}

int64_t TGetInetFile::GetUrlSize(const std::string& url)
{
    std::unique_ptr<THttpExchange> exchange;
    if (OpenUrl(url, TUserAgent::SizeQuery, exchange) != TOpenResult::Opened)
        return 0;
    // The body is never read: ending the exchange abandons it.
    const THttpHead& head = exchange->Head();
    return head.LengthConflict ? 0 : std::max<int64_t>(0, head.ContentLength);
}

TGetInetFile::TOpenResult TGetInetFile::OpenForReading(const std::string& url,
                                                       std::unique_ptr<THttpExchange>& exchange)
{
    m_failure.clear();
    m_host.ProcessMessages();
    if (m_host.StopRequested())
        return TOpenResult::Stopped;
    m_host.ProcessMessages();
    const TOpenResult result = OpenUrl(url, TUserAgent::Browser, exchange);
    if (result == TOpenResult::Failed)
        ShowUserMessage(TMessageKind::Warning, MsgInternetError);
    return result;
}

bool TGetInetFile::IsFileAnswer(const THttpExchange& exchange)
{
    const THttpHead& head = exchange.Head();
    if (head.Status >= 400)
        m_failure = "the server answered " + StatusText(head);
    else if (head.Status == 204)
        m_failure = "the server answered " + StatusText(head) + ": there is no file to save";
    else if (head.Status == 206)
        m_failure = "the server sent a part of the file (" + StatusText(head) +
                    ") although the whole file was asked for";
    else if (head.Status >= 300)
        m_failure = "the server answered " + StatusText(head) +
                    (head.HasLocation ? ", a redirect that is not followed"
                                      : ", a redirect without a target (no Location)");
    else if (head.Status < 200)
        m_failure = "the server's answer has no valid status";
    else if (head.LengthConflict)
        m_failure = "the server announced disagreeing lengths for the file";
    else if (head.ContentLength == 0)
        m_failure = "the server sent an empty file";
    else
        return true;
    return false;
}

bool TGetInetFile::ReceiveFile(THttpExchange& exchange, TPartFile& file, int64_t expectedSize)
{
    const int64_t announced = exchange.Head().ContentLength;
    if (expectedSize <= 0 && announced > 0)
        expectedSize = announced;
    const int64_t total = expectedSize > 0 ? expectedSize : -1;
    TBusyBar busy(m_host, expectedSize <= 0);
    int64_t received = 0;
    int shown = -1;
    int64_t reportedAt = NowMs();
    m_host.SetTransferredBytes(0, total);
    // The bar and the length follow the bytes on the connection: a packed
    // body's Content-Length counts it packed (libcurl counts those only
    // after each piece, so the bar of a packed body lags one piece).
    const bool packed = exchange.Head().IsEncoded();
    const auto counted = [&] { return packed ? exchange.WireBytes() : received; };
    const THttpExchange::TResult read = exchange.ReadBody([&](const char* data, size_t size) {
        if (!file.Write(data, size))
            return false;  // the disk is full or the file went away
        received += static_cast<int64_t>(size);
        const int64_t wire = counted();
        const int64_t now = NowMs();
        if (now - reportedAt >= TransferReportMs) {
            reportedAt = now;
            m_host.SetTransferredBytes(wire, total);
        }
        if (expectedSize > 0) {
            const int percent = ProgressPercent(wire, expectedSize);
            if (percent > shown) {
                shown = percent;
                // Window events are served by the next pass of the read loop.
                m_host.SetProgress(percent);
            }
        }
        return true;
    });
    const int64_t wire = counted();
    m_host.SetTransferredBytes(wire, total);
    switch (read) {
        case THttpExchange::TResult::Stopped:
            return false;
        case THttpExchange::TResult::Refused:
            m_failure = file.Error();
            return false;
        case THttpExchange::TResult::Failed:
            m_failure = exchange.FailureReason();
            if (!exchange.BadCoding())
                ShowUserMessage(TMessageKind::Warning, MsgInternetError);
            return false;
        case THttpExchange::TResult::Done:
            break;
    }
    // libcurl holds a body to its length; this is the last word on it.
    if (announced >= 0 && wire != announced) {
        m_failure = "the transfer ended after " + std::to_string(wire) + " of " +
                    std::to_string(announced) + " bytes";
        ShowUserMessage(TMessageKind::Warning, MsgInternetError);
        return false;
    }
    if (received == 0) {
        m_failure = "the server sent an empty file";
        return false;
    }
    if (!file.Finish()) {
        m_failure = file.Error();
        return false;
    }
    return true;
}

bool TGetInetFile::DownloadToFile(const std::string& url, TPartFile& file, int64_t expectedSize)
{
    std::unique_ptr<THttpExchange> exchange;
    if (OpenForReading(url, exchange) != TOpenResult::Opened)
        return false;
    return IsFileAnswer(*exchange) && ReceiveFile(*exchange, file, expectedSize);
}

bool TGetInetFile::DownloadToFile(const std::string& url, const std::string& fileName,
                                  int64_t expectedSize)
{
    std::unique_ptr<THttpExchange> exchange;
    if (OpenForReading(url, exchange) != TOpenResult::Opened || !IsFileAnswer(*exchange))
        return false;
    TPartFile file(std::filesystem::path(fileName).parent_path().string());
    if (!file.Create()) {
        m_failure = file.Error();
        return false;
    }
    if (!ReceiveFile(*exchange, file, expectedSize))
        return false;
    if (!file.ReplaceName(fileName)) {
        m_failure = file.Error();
        return false;
    }
    return true;
}

bool TGetInetFile::GetUrlText(const std::string& url, std::string& text)
{
    text.clear();
    std::unique_ptr<THttpExchange> exchange;
    if (OpenForReading(url, exchange) != TOpenResult::Opened)
        return false;
    if (exchange->Head().LengthConflict) {
        m_failure = "the server announced disagreeing lengths for its answer";
        ShowUserMessage(TMessageKind::Warning, MsgInternetError);
        return false;
    }
    std::string answer;
    int64_t received = 0;
    const THttpExchange::TResult read = exchange->ReadBody([&](const char* data, size_t size) {
        received += static_cast<int64_t>(size);
        if (received > MaxTextSize)
            return false;  // an answer this long is no link
        // A chunk holding a zero byte gives only what comes before it.
        answer.append(data, static_cast<size_t>(std::find(data, data + size, '\0') - data));
        return true;
    });
    switch (read) {
        case THttpExchange::TResult::Refused:
            m_failure = "the answer is longer than " + std::to_string(MaxTextSize) + " bytes";
            return false;
        case THttpExchange::TResult::Failed:
            m_failure = exchange->FailureReason();
            ShowUserMessage(TMessageKind::Warning, MsgInternetError);
            return false;
        case THttpExchange::TResult::Stopped:
        case THttpExchange::TResult::Done:
            break;
    }
    // A cancelled fetch gives what had arrived.
    text = TrimString(answer);
    return !text.empty();
}
