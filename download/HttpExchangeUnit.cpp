#include "download/HttpExchangeUnit.h"

#include <QUrl>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "base/ResolverProtocol.h"
#include "common/JobHostUnit.h"

namespace {

// How long a pass waits for the socket when nothing arrived: short enough
// that window events are served promptly while the network is quiet.
constexpr int PollMs = 10;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// "30 s", "1.5 s".
std::string Seconds(int milliseconds)
{
    std::string text = std::to_string(milliseconds / 1000);
    if (milliseconds % 1000 != 0)
        text += '.' + std::to_string(milliseconds % 1000 / 100);
    return text + " s";
}

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

THttpExchange::THttpExchange(TJobHost& host, int stallTimeoutMs)
    : m_host(host), m_stallTimeoutMs(stallTimeoutMs)
{
    InitCurlOnce();
}

THttpExchange::~THttpExchange()
{
    // An unfinished transfer is abandoned: its connection is closed.
    if (m_multi && m_easy)
        curl_multi_remove_handle(m_multi, m_easy);
    if (m_easy)
        curl_easy_cleanup(m_easy);
    if (m_multi)
        curl_multi_cleanup(m_multi);
    curl_slist_free_all(m_headers);
}

bool THttpExchange::Start(const std::string& url, const std::string& agent,
                          const std::string& extraHeader)
{
    m_url = url;
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    // The body is asked for as it is. A server that still packs it (gzip,
    // deflate, br, zstd) has it unpacked by libcurl on the way, so that the
    // file is the media itself; a coding libcurl does not know fails the
    // transfer. Content-Length then counts the packed bytes.
    m_headers = curl_slist_append(nullptr, "Accept-Encoding: identity");
    if (m_headers && !extraHeader.empty()) {
        curl_slist* more = curl_slist_append(m_headers, extraHeader.c_str());
        if (!more)
            curl_slist_free_all(m_headers);
        m_headers = more;
    }
    if (!m_multi || !m_easy || !m_headers) {
        Fail("the network library cannot be set up");
        return false;
    }
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(m_easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_USERAGENT, agent.c_str());
    set(CURLOPT_HTTPHEADER, m_headers);
    // Unpacks what arrives; the field sent stays the one above.
    set(CURLOPT_ACCEPT_ENCODING, "");
    // Only http and https, and every redirect is checked by the caller.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_BUFFERSIZE, ReadSize);
    // A proxy's own "200 Connection established" is not the server's answer.
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_ERRORBUFFER, m_errorText);
    set(CURLOPT_HEADERFUNCTION, &THttpExchange::OnHeader);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEFUNCTION, &THttpExchange::OnBody);
    set(CURLOPT_WRITEDATA, this);
    // The proxy comes from http_proxy, https_proxy, no_proxy, as libcurl
    // reads them by default; nothing is cached.
    if (!ok || curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        Fail("the network library cannot be set up");
        return false;
    }
    m_lastActivityMs = NowMs();
    return true;
}

size_t THttpExchange::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto* exchange = static_cast<THttpExchange*>(self);
    exchange->m_activity = true;
    // Trailer fields behind a chunked body do not change the head.
    if (!exchange->m_head.Complete)
        exchange->m_head.AddLine(std::string_view(data, size * count));
    return size * count;
}

size_t THttpExchange::OnBody(char* data, size_t size, size_t count, void* self)
{
    auto* exchange = static_cast<THttpExchange*>(self);
    const size_t n = size * count;
    exchange->m_activity = true;
    // libcurl reads on while the socket has data; holding the piece back
    // keeps to one read per pass, so the stop flag and the window come
    // between any two reads. Nor is a body read before anybody asks for it.
    if (!exchange->m_consume || exchange->m_passBytes >= ReadSize) {
        exchange->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    exchange->m_passBytes += static_cast<int64_t>(n);
    if (!(*exchange->m_consume)(data, n)) {
        exchange->m_refused = true;
        return 0;  // ends the transfer
    }
    exchange->m_received += static_cast<int64_t>(n);
    return n;
}

THttpExchange::TStep THttpExchange::Step()
{
    if (m_host.StopRequested())
        return TStep::Stopped;
    m_host.ProcessMessages();
    if (m_host.StopRequested())
        return TStep::Stopped;
    m_activity = false;
    m_passBytes = 0;
    if (m_paused && m_consume) {
        // Hands over the piece held back, then reads on.
        m_paused = false;
        const CURLcode resumed = curl_easy_pause(m_easy, CURLPAUSE_CONT);
        if (resumed != CURLE_OK) {
            m_finished = true;
            m_code = resumed;
            return TStep::Going;
        }
    }
    int running = 0;
    curl_multi_perform(m_multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
            m_finished = true;
            m_code = message->data.result;
        }
    }
    const int64_t now = NowMs();
    if (m_activity || m_finished) {
        m_lastActivityMs = now;
        return TStep::Going;
    }
    if (now - m_lastActivityMs >= m_stallTimeoutMs)
        return TStep::Stalled;
    curl_multi_poll(m_multi, nullptr, 0, PollMs, nullptr);
    return TStep::Going;
}

std::string THttpExchange::Server() const
{
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(m_url));
    QString host = url.host(QUrl::EncodeUnicode);
    if (host.contains(':'))
        host = '[' + host + ']';
    return (url.port() == -1 ? host : host + ':' + QString::number(url.port())).toStdString();
}

int64_t THttpExchange::WireBytes() const
{
    curl_off_t bytes = 0;
    if (!m_easy || curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &bytes) != CURLE_OK)
        return m_received;
    return static_cast<int64_t>(bytes);
}

std::string THttpExchange::TransferFailure() const
{
    // The system's word for a failed connection; libcurl's own for the rest
    // (an earlier address that refused may have left an error number behind).
    long osError = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osError);
    const std::string library = m_errorText[0] ? m_errorText : curl_easy_strerror(m_code);
    const std::string why = m_code == CURLE_COULDNT_CONNECT && osError != 0
                                ? std::strerror(static_cast<int>(osError))
                                : library;
    switch (m_code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return ReasonWords::UnknownHost(
                QUrl::fromEncoded(QByteArray::fromStdString(m_url)).host().toStdString());
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "the proxy's name cannot be found (" + why + ")";
        case CURLE_COULDNT_CONNECT:
            if (osError == ECONNREFUSED)
                return ReasonWords::Refused(Server());
            return "the server at " + Server() + " cannot be reached (" + why + ")";
        case CURLE_OPERATION_TIMEDOUT:
            return ReasonWords::NoAnswer(Server(), Seconds(m_stallTimeoutMs));
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return ReasonWords::SecureConnection(Server(), why);
        case CURLE_BAD_CONTENT_ENCODING:
            return "the server packed the file in a way that cannot be undone (" +
                   (m_head.ContentEncoding.empty() ? why : m_head.ContentEncoding + ": " + why) +
                   ")";
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return "the transfer broke off after " + std::to_string(m_received) + " bytes (" + why +
                   ")";
        default:
            return "the transfer failed (" + why + ")";
    }
}

THttpExchange::TResult THttpExchange::WaitForHead()
{
    while (!m_head.Complete && !m_finished) {
        const TStep step = Step();
        if (step == TStep::Stopped)
            return TResult::Stopped;
        if (step == TStep::Stalled) {
            Fail(ReasonWords::NoAnswer(Server(), Seconds(m_stallTimeoutMs)));
            return TResult::Failed;
        }
    }
    if (m_head.Complete)
        return TResult::Done;
    Fail(m_code == CURLE_OK ? "the server sent no answer" : TransferFailure());
    return TResult::Failed;
}

THttpExchange::TResult THttpExchange::ReadBody(const TConsumer& consume)
{
    m_consume = &consume;
    struct TReset
    {
        const TConsumer*& Slot;
        ~TReset() { Slot = nullptr; }
    } reset{m_consume};
    while (!m_finished) {
        const TStep step = Step();
        if (step == TStep::Stopped)
            return TResult::Stopped;
        if (step == TStep::Stalled) {
            Fail(ReasonWords::StoppedSending(Server()) + " after " + std::to_string(m_received) +
                 " bytes (nothing arrived for " + Seconds(m_stallTimeoutMs) + ")");
            return TResult::Failed;
        }
    }
    if (m_refused)
        return TResult::Refused;
    if (m_code != CURLE_OK) {
        Fail(TransferFailure());
        return TResult::Failed;
    }
    return TResult::Done;
}
