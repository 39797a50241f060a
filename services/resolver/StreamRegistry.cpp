#include "StreamRegistry.h"

TStreamRegistry& TStreamRegistry::Instance()
{
    static TStreamRegistry registry;
    return registry;
}

QByteArray TStreamRegistry::Issue(const TStreamSource& source)
{
    (void)source;
    return {};
}

std::optional<TStreamSource> TStreamRegistry::Find(const QByteArray& token) const
{
    (void)token;
    return std::nullopt;
}
