#pragma once

// TGetInetFile: the program's HTTP client. Three blocking operations on the
// GUI thread: the size of a link's body, its body into a file, its body as
// text. While they wait they keep serving window events and watch the stop
// flag, so Cancel takes effect after at most one more read.
//
// Only http and https links are fetched, for every redirect too. A link
// that cannot be reached, and a connection that stays silent for the stall
// time-out, count as "Internet Connection Error.".

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QUrl;
class TJobHost;

class TGetInetFile
{
public:
    // Bytes asked for by each read of a body.
    static constexpr int64_t ReadSize = 64 * 1024;
    // The longest answer GetUrlText keeps; a longer one is a failure.
    static constexpr int64_t MaxTextSize = 1024 * 1024;
    // A transfer that receives nothing for this long fails.
    static constexpr int DefaultStallTimeoutMs = 30 * 1000;

    explicit TGetInetFile(TJobHost& host);
    ~TGetInetFile();
    TGetInetFile(const TGetInetFile&) = delete;
    TGetInetFile& operator=(const TGetInetFile&) = delete;

    // The Content-Length of URL's answer, learned from the headers of a GET
    // whose body is abandoned; 0 when it cannot be learned. Shows nothing.
    int64_t GetUrlSize(const std::string& url);

    // Streams URL's body into a temporary file beside FILENAME and renames it
    // to FILENAME (replacing a file of that name) once the whole body has
    // arrived. EXPECTEDSIZE drives the bar (0 or less: a busy bar). An HTTP
    // error status, a broken or short transfer, a file that cannot be written
    // and Cancel leave no file and no temporary file behind, and give false.
    bool DownloadToFile(const std::string& url, const std::string& fileName, int64_t expectedSize);

    // URL's body, trimmed, into TEXT (an error page is a body like any other);
    // true when that text is not empty.
    bool GetUrlText(const std::string& url, std::string& text);

    // The percent the bar shows for RECEIVED of EXPECTED bytes: rounded to
    // the nearest (a half to the even neighbour) and at most 99.
    static int ProgressPercent(int64_t received, int64_t expected);

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
    enum class TReadResult
    {
        Ended,
        Stopped,
        Refused
    };

    struct TReplyCloser
    {
        void operator()(QNetworkReply* reply) const;
    };
    using TReplyPtr = std::unique_ptr<QNetworkReply, TReplyCloser>;

    QNetworkReply* StartGet(const QUrl& target, TUserAgent agent);
    // Sends the GET, follows redirects and waits for the final answer's head.
    TOpenResult OpenUrl(const std::string& url, TUserAgent agent, TReplyPtr& reply);
    // OpenUrl with the browser agent, the event pumps before it, and the
    // failure box.
    TOpenResult OpenForReading(const std::string& url, TReplyPtr& reply);
    // Reads the body in pieces of at most ReadSize, looking at the stop flag
    // and serving events before every read, until it ends or CONSUME says no.
    TReadResult ReadBody(QNetworkReply* reply,
                         const std::function<bool(const char* data, int64_t size)>& consume);
    void WaitForActivity();

    TJobHost& m_host;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::unique_ptr<QTimer> m_wake;
};
