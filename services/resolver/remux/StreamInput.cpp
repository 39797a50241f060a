#include "services/resolver/remux/StreamInput.h"

#include "services/resolver/net/MediaTypes.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include <QString>

namespace {

constexpr const char* CryptoPrefixes[] = {"crypto+", "crypto:"};

// The http protocol's own time-out, in microseconds, as the libraries take it.
std::string Microseconds(std::chrono::milliseconds limit)
{
    return std::to_string(static_cast<long long>(limit.count()) * 1000);
}

}  // namespace

std::string AvErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

TStreamInput::TStreamInput(const TStreamSource& source, TStreamWatch& watch)
    : m_source(source), m_watch(watch)
{}

TStreamInput::~TStreamInput()
{
    avformat_close_input(&m_context);
}

const char* TStreamInput::ProtocolWhitelist()
{
    return "http,https,tcp,tls,crypto";
}

bool TStreamInput::MayFetch(const std::string& url, const std::optional<TAddressPolicy>& policy,
                            std::string* why)
{
    std::string plain = url;
    for (const char* prefix : CryptoPrefixes) {
        if (plain.starts_with(prefix))
            plain.erase(0, std::char_traits<char>::length(prefix));
    }
    const QUrl parsed(QString::fromStdString(plain), QUrl::TolerantMode);
    if (!IsFetchableUrl(parsed)) {
        *why = "not an http or https link: " + url;
        return false;
    }
    QString refusal;
    if (policy && !policy->AllowsUrl(parsed, &refusal)) {
        *why = url + ": " + refusal.toStdString();
        return false;
    }
    return true;
}

void TStreamInput::AddRequestOptions(AVDictionary** options) const
{
    std::string others;
    for (const auto& [name, value] : m_source.Headers) {
        const QByteArray lower = name.toLower();
        if (lower == "user-agent")
            av_dict_set(options, "user_agent", value.constData(), 0);
        else if (lower == "referer")
            av_dict_set(options, "referer", value.constData(), 0);
        else
            others += name.toStdString() + ": " + value.toStdString() + "\r\n";
    }
    if (!others.empty())
        av_dict_set(options, "headers", others.c_str(), 0);
    av_dict_set(options, "rw_timeout", Microseconds(m_watch.IdleLimit()).c_str(), 0);
}

int TStreamInput::OpenConnection(AVFormatContext* context, AVIOContext** pb, const char* url,
                                 int flags, AVDictionary** options)
{
    auto* self = static_cast<TStreamInput*>(context->opaque);
    std::string why;
    if (!MayFetch(url, self->m_source.Policy, &why)) {
        self->m_watch.Fail("refused " + why);
        return AVERROR(EACCES);
    }
    AVDictionary* local = nullptr;
    AVDictionary** used = options ? options : &local;
    self->AddRequestOptions(used);
    const int result = self->m_defaultOpen(context, pb, url, flags, used);
    av_dict_free(&local);
    if (result < 0) {
        if (result != AVERROR_EXIT)
            self->m_watch.Fail(std::string(url) + ": " + AvErrorText(result));
        return result;
    }
    // The http reader follows redirects itself: where it ended up must be a
    // place the stream may fetch from too, or nothing of it is used.
    uint8_t* location = nullptr;
    if (av_opt_get(*pb, "location", AV_OPT_SEARCH_CHILDREN, &location) >= 0 && location) {
        const std::string landed = reinterpret_cast<const char*>(location);
        av_free(location);
        if (landed != url && !MayFetch(landed, self->m_source.Policy, &why)) {
            self->m_defaultClose(context, *pb);
            *pb = nullptr;
            self->m_watch.Fail("refused redirect of " + std::string(url) + " to " + why);
            return AVERROR(EACCES);
        }
    }
    self->m_connections[*pb] = url;
    self->m_watch.Touch();
    return result;
}

int TStreamInput::CloseConnection(AVFormatContext* context, AVIOContext* pb)
{
    auto* self = static_cast<TStreamInput*>(context->opaque);
    // A read error on a segment is final: the demuxer would skip to the next
    // one and leave a hole in the file.
    if (pb && pb->error < 0 && pb->error != AVERROR_EXIT)
        self->m_watch.Fail(self->m_connections[pb] + ": " + AvErrorText(pb->error));
    self->m_connections.erase(pb);
    return self->m_defaultClose(context, pb);
}

bool TStreamInput::Open(const QUrl& url)
{
    m_url = url;
    const std::string link = url.toEncoded().toStdString();
    m_context = avformat_alloc_context();
    if (!m_context) {
        m_watch.Fail("out of memory");
        return false;
    }
    m_context->opaque = this;
    m_context->interrupt_callback = {&TStreamWatch::InterruptCallback, &m_watch};
    m_defaultOpen = m_context->io_open;
    m_defaultClose = m_context->io_close2;
    m_context->io_open = &TStreamInput::OpenConnection;
    m_context->io_close2 = &TStreamInput::CloseConnection;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", ProtocolWhitelist(), 0);
    AddRequestOptions(&options);
    int result = avformat_open_input(&m_context, link.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        // avformat_open_input frees the context on failure.
        m_watch.Fail(link + ": " + AvErrorText(result));
        return false;
    }
    m_watch.Touch();
    result = avformat_find_stream_info(m_context, nullptr);
    if (result < 0 || m_watch.Failed()) {
        m_watch.Fail(link + ": " + AvErrorText(result));
        return false;
    }
    return true;
}

bool TStreamInput::EndedCleanly()
{
    if (m_context && m_context->pb && m_context->pb->error < 0 &&
        m_context->pb->error != AVERROR_EXIT) {
        m_watch.Fail(m_url.toEncoded().toStdString() + ": " + AvErrorText(m_context->pb->error));
        return false;
    }
    return !m_watch.Failed();
}
