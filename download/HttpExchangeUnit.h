#pragma once

// THttpExchange: one GET of one link over libcurl, driven from the GUI
// thread. Every pass looks at the stop flag, serves pending window events,
// lets libcurl do one read of at most ReadSize bytes (the rest waits, held
// back, for the next pass) and, when nothing arrived, waits a few
// milliseconds for the socket. No redirect is followed
// here: the caller reads the head and decides.
//
// The body is complete only when libcurl says so: exactly Content-Length
// bytes, or the last chunk of a chunked body (or, for a body that ends with
// the connection, the close itself, which cannot be checked).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <curl/curl.h>

#include "download/HttpHeadUnit.h"

class TJobHost;

class THttpExchange
{
public:
    enum class TResult
    {
        Done,     // the head is there (WaitForHead) or the whole body (ReadBody)
        Stopped,  // the stop flag was set
        Failed,   // no answer, a broken transfer or a stall; see FailureReason()
        Refused   // the consumer of the body said no
    };
    using TConsumer = std::function<bool(const char* data, size_t size)>;

    // Bytes asked for by each read.
    static constexpr long ReadSize = 64 * 1024;

    THttpExchange(TJobHost& host, int stallTimeoutMs);
    ~THttpExchange();
    THttpExchange(const THttpExchange&) = delete;
    THttpExchange& operator=(const THttpExchange&) = delete;

    // Sends a GET for URL (already encoded for the request line) with the
    // User-Agent AGENT and, unless empty, the header line EXTRAHEADER. False
    // when libcurl cannot even set it up.
    bool Start(const std::string& url, const std::string& agent,
               const std::string& extraHeader = {});
    // Waits until the head of the final answer has arrived.
    TResult WaitForHead();
    const THttpHead& Head() const { return m_head; }
    // Hands every piece of the body to CONSUME until the body is complete.
    TResult ReadBody(const TConsumer& consume);
    // Body bytes handed over so far.
    int64_t Received() const { return m_received; }
    // Body bytes as they came over the connection: the packed bytes of a
    // body libcurl unpacks, which is what Content-Length counts.
    int64_t WireBytes() const;
    // Whether the last failure is a body whose packing cannot be undone.
    bool BadCoding() const { return m_code == CURLE_BAD_CONTENT_ENCODING; }
    // Why the last wait failed, in plain words.
    const std::string& FailureReason() const { return m_failure; }

private:
    enum class TStep
    {
        Going,
        Stopped,
        Stalled
    };
    TStep Step();
    void Fail(const std::string& reason) { m_failure = reason; }
    std::string TransferFailure() const;
    // "host:port" of the link, as the messages name the server.
    std::string Server() const;

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);

    TJobHost& m_host;
    int m_stallTimeoutMs;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    curl_slist* m_headers = nullptr;
    std::string m_url;
    THttpHead m_head;
    const TConsumer* m_consume = nullptr;
    // A piece of the body held back by libcurl until the next pass.
    bool m_paused = false;
    int64_t m_passBytes = 0;
    bool m_refused = false;
    bool m_activity = false;
    bool m_finished = false;
    CURLcode m_code = CURLE_OK;  // of a finished transfer
    int64_t m_received = 0;
    int64_t m_lastActivityMs = 0;
    std::string m_failure;
    char m_errorText[CURL_ERROR_SIZE] = {};
};
