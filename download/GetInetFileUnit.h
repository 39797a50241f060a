#pragma once

// TGetInetFile: the program's HTTP client. Three blocking operations on the
// GUI thread: the size of a link's body, its body into a file, its body as
// text. While they wait they keep serving window events and watch the stop
// flag, so Cancel takes effect after at most one more read.
//
// Only http and https links are fetched, for every redirect too (at most 20,
// each checked here). A link that cannot be reached, and a connection that
// stays silent for the stall time-out, count as "Internet Connection Error.".
// A body counts as complete only when its end is certain: exactly its
// Content-Length, or the last chunk of a chunked body. A body that ends with
// the connection (neither) cannot be checked and is taken as it came.

#include <cstdint>
#include <memory>
#include <string>

#include "download/HttpHeadUnit.h"

class QUrl;
class TJobHost;
class TPartFile;
class THttpExchange;

class TGetInetFile
{
public:
    // Bytes asked for by each read of a body.
    static constexpr int64_t ReadSize = 64 * 1024;
    // The longest answer GetUrlText keeps; a longer one is a failure.
    static constexpr int64_t MaxTextSize = 1024 * 1024;
    // A transfer that receives nothing for this long fails.
    static constexpr int DefaultStallTimeoutMs = 30 * 1000;
    static constexpr int MaxRedirects = 20;

    explicit TGetInetFile(TJobHost& host);
    ~TGetInetFile();
    TGetInetFile(const TGetInetFile&) = delete;
    TGetInetFile& operator=(const TGetInetFile&) = delete;

    // The Content-Length of URL's answer, learned from the headers of a GET
    // whose body is abandoned; 0 when it cannot be learned. Shows nothing.
    int64_t GetUrlSize(const std::string& url);

    // Streams URL's body into FILE (created, not finished). True only for a
    // complete body of a file: an HTTP error status, 204, a 206 nobody asked
    // for, a redirect without a target, disagreeing lengths, an empty body, a
    // broken or short transfer, a full disk and Cancel give false.
    // EXPECTEDSIZE drives the bar (0 or less: the answer's own length, else
    // a busy bar).
    bool DownloadToFile(const std::string& url, TPartFile& file, int64_t expectedSize);
    // The same into a hidden file beside FILENAME, which is renamed to
    // FILENAME (replacing a file of that name) once complete; nothing is
    // left behind otherwise.
    bool DownloadToFile(const std::string& url, const std::string& fileName, int64_t expectedSize);

    // URL's body, trimmed, into TEXT (an error page is a body like any other);
    // true when that text is not empty.
    bool GetUrlText(const std::string& url, std::string& text);

    // Why the last operation failed, in plain words; empty after a success
    // and after Cancel.
    const std::string& FailureReason() const { return m_failure; }
    // A field of the last operation's final answer (after its redirects),
    // or empty.
    std::string AnswerField(const std::string& name) const;

    // The percent the bar shows for RECEIVED of EXPECTED bytes: rounded to
    // the nearest (a half to the even neighbour) and at most 99.
    static int ProgressPercent(int64_t received, int64_t expected);

    // The head of every later answer may take up to MILLISECONDS when that
    // is longer than the stall time-out (a service that works on its answer
    // that long before it says anything).
    void SetAnswerWait(int milliseconds) { m_answerWaitMs = milliseconds; }

    // Every later request to the service at BASE (scheme, host and port)
    // carries KEY in the service's secret header; requests anywhere else
    // never do. An empty KEY sends none.
    void SetServiceKey(const std::string& base, const std::string& key);

    // Whether URL is a link this client fetches (http or https with a host).
    static bool IsFetchableUrl(const std::string& url);

    // The stall time-out of every later transfer (tests shorten it).
    static void SetStallTimeout(int milliseconds);

private:
    enum class TUserAgent
    {
        SizeQuery,
        Browser
    };
    enum class TOpenResult
    {
        Opened,
        Failed,
        Stopped
    };

    // Sends the GET, follows redirects and waits for the final answer's head.
    TOpenResult OpenUrl(const std::string& url, TUserAgent agent,
                        std::unique_ptr<THttpExchange>& exchange);
    // OpenUrl with the browser agent, the event pumps before it, and the
    // failure box.
    TOpenResult OpenForReading(const std::string& url, std::unique_ptr<THttpExchange>& exchange);
    // Whether the final answer's head promises a file; sets the reason if not.
    bool IsFileAnswer(const THttpExchange& exchange);
    bool ReceiveFile(THttpExchange& exchange, TPartFile& file, int64_t expectedSize);

    TJobHost& m_host;
    std::string m_failure;
    int m_answerWaitMs = 0;
    std::string m_serviceBase;
    std::string m_serviceKey;
    THttpHead m_answerHead;
};
