#pragma once

// One source link of a stream opened with the FFmpeg libraries: a playlist,
// a manifest or a plain file, fetched over http or https only, with the
// stream's request headers on every fetch (the playlist, each segment, each
// key). Every connection the demuxer opens is checked; a segment that cannot
// be opened or breaks off fails the whole stream instead of leaving a gap.

#include "services/resolver/remux/StreamSource.h"
#include "services/resolver/remux/StreamWatch.h"

#include <QUrl>

#include <map>
#include <string>

struct AVDictionary;
struct AVFormatContext;
struct AVIOContext;

class TStreamInput
{
public:
    TStreamInput(const TStreamSource& source, TStreamWatch& watch);
    ~TStreamInput();
    TStreamInput(const TStreamInput&) = delete;
    TStreamInput& operator=(const TStreamInput&) = delete;

    // Opens URL and reads what its streams hold; false with the reason given
    // to the watch.
    bool Open(const QUrl& url);
    AVFormatContext* Context() const { return m_context; }
    const QUrl& Url() const { return m_url; }

    // After the last packet: whether the input's own connection ended
    // without an error; the reason goes to the watch.
    bool EndedCleanly();

    // The protocols the demuxers may use: never "file" or anything local,
    // so a playlist cannot make the service read this machine's files.
    static const char* ProtocolWhitelist();

    // Whether the demuxer may fetch URL (as the libraries spell it,
    // "crypto+https://..." included) under POLICY; WHY says why not.
    static bool MayFetch(const std::string& url, const std::optional<TAddressPolicy>& policy,
                         std::string* why);

private:
    static int OpenConnection(AVFormatContext* context, AVIOContext** pb, const char* url,
                              int flags, AVDictionary** options);
    static int CloseConnection(AVFormatContext* context, AVIOContext* pb);
    void AddRequestOptions(AVDictionary** options) const;

    const TStreamSource& m_source;
    TStreamWatch& m_watch;
    QUrl m_url;
    AVFormatContext* m_context = nullptr;
    int (*m_defaultOpen)(AVFormatContext*, AVIOContext**, const char*, int,
                         AVDictionary**) = nullptr;
    int (*m_defaultClose)(AVFormatContext*, AVIOContext*) = nullptr;
    // The link each open connection was made for, to name it in a failure.
    std::map<AVIOContext*, std::string> m_connections;
};

// An FFmpeg error code as text.
std::string AvErrorText(int error);
