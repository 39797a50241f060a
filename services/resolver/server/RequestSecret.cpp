#include "services/resolver/server/RequestSecret.h"

#include "base/ResolverProtocol.h"

#include <QCryptographicHash>

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// A line longer than this is no secret of ours.
constexpr qsizetype MaxSecretLength = 4096;

}  // namespace

bool TRequestSecret::ReadLine(int descriptor, QByteArray* secret, QString* why)
{
    QByteArray line;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(descriptor, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *why = QStringLiteral("standard input cannot be read: %1")
                       .arg(QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        if (got == 0 || c == '\n')
            break;
        if (line.size() >= MaxSecretLength) {
            *why = QStringLiteral("the secret's line is longer than %1 bytes").arg(MaxSecretLength);
            return false;
        }
        line += c;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() < ResolverMinSecretLength) {
        *why = QStringLiteral("the secret on standard input is shorter than %1 characters")
                   .arg(ResolverMinSecretLength);
        return false;
    }
    *secret = line;
    return true;
}

bool TRequestSecret::Matches(const QByteArray& offered) const
{
    if (m_secret.isEmpty())
        return false;
    const QByteArray expected = QCryptographicHash::hash(m_secret, QCryptographicHash::Sha256);
    const QByteArray given = QCryptographicHash::hash(offered, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ given[i]);
    return difference == 0;
}
