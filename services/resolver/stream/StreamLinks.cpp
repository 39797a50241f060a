#include "services/resolver/stream/StreamLinks.h"

#include "services/resolver/net/AddressPolicy.h"
#include "services/resolver/net/MediaTypes.h"
#include "services/resolver/stream/StreamRegistry.h"

namespace {

bool IsStreamType(const QByteArray& mediaType)
{
    return mediaType == "application/vnd.apple.mpegurl" || mediaType == "application/x-mpegurl" ||
           mediaType == "audio/mpegurl" || mediaType == "application/dash+xml";
}

bool IsGenericType(const QByteArray& mediaType)
{
    return mediaType.isEmpty() || mediaType == "application/octet-stream" ||
           mediaType == "binary/octet-stream" || mediaType == "text/plain" ||
           mediaType == "application/xml" || mediaType == "text/xml";
}

}  // namespace

bool IsStreamResponse(int status, const QByteArray& contentType, const QUrl& finalUrl)
{
    if (status < 200 || status > 299)
        return false;
    const QByteArray type = MediaTypeOf(contentType);
    if (IsStreamType(type))
        return true;
    return IsGenericType(type) && HasStreamExtension(finalUrl);
}

bool IsStreamSourceType(const QByteArray& type)
{
    return IsStreamType(MediaTypeOf(type));
}

QByteArray StreamAnswer(const QUrl& url, const QUrl& typedLink)
{
    TStreamSource source;
    source.Inputs = {url.adjusted(QUrl::RemoveFragment)};
    source.Policy = TAddressPolicy::ForTypedLink(typedLink);
    return TStreamRegistry::Instance().Issue(source);
}
