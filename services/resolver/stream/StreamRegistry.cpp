#include "services/resolver/stream/StreamRegistry.h"

#include <QRandomGenerator>

#include "base/ResolverProtocol.h"

namespace {

constexpr qsizetype TokenBytes = 16;  // 128 random bits
const QByteArray LinkSuffix = ".flv";

bool IsLowerHex(const QByteArray& text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

}  // namespace

TStreamRegistry& TStreamRegistry::Instance()
{
    static TStreamRegistry registry;
    return registry;
}

void TStreamRegistry::SetBaseAddress(const QByteArray& base)
{
    std::lock_guard lock(m_mutex);
    m_base = base;
}

QByteArray TStreamRegistry::BaseAddress() const
{
    std::lock_guard lock(m_mutex);
    return m_base;
}

void TStreamRegistry::SetLifetime(std::chrono::milliseconds lifetime)
{
    std::lock_guard lock(m_mutex);
    m_lifetime = lifetime;
}

void TStreamRegistry::SetGrace(std::chrono::milliseconds grace)
{
    std::lock_guard lock(m_mutex);
    m_grace = grace;
}

QByteArray TStreamRegistry::Issue(const TStreamSource& source)
{
    // The system generator draws from the kernel's random source, so a token
    // cannot be guessed from earlier ones.
    QByteArray random(TokenBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()),
                                          TokenBytes / sizeof(quint32));
    const QByteArray token = random.toHex();

    std::lock_guard lock(m_mutex);
    DropExpired();
    m_streams[token] = TEntry{source, TClock::now() + m_lifetime};
    return m_base + StreamPath + token + LinkSuffix;
}

std::optional<TStreamSource> TStreamRegistry::Find(const QByteArray& token) const
{
    std::lock_guard lock(m_mutex);
    DropExpired();
    const auto found = m_streams.find(token);
    if (found == m_streams.end())
        return std::nullopt;
    return found->second.Source;
}

void TStreamRegistry::Retire(const QByteArray& token)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_streams.find(token);
    if (found != m_streams.end())
        found->second.Expires = std::min(found->second.Expires, TClock::now() + m_grace);
}

QByteArray TStreamRegistry::TokenOfName(const QByteArray& name)
{
    if (!name.endsWith(LinkSuffix))
        return {};
    const QByteArray token = name.chopped(LinkSuffix.size());
    if (token.size() != 2 * TokenBytes || !IsLowerHex(token))
        return {};
    return token;
}

void TStreamRegistry::DropExpired() const
{
    const TClock::time_point now = TClock::now();
    std::erase_if(m_streams, [now](const auto& entry) { return entry.second.Expires <= now; });
}
