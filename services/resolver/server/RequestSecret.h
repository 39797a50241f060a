#pragma once

// The secret a service started for one program shares with it: read from
// standard input at start, then asked of every request.

#include <QByteArray>
#include <QString>

class TRequestSecret
{
public:
    // Reads the first line of DESCRIPTOR into SECRET, one byte at a time, so
    // nothing after it is taken and a pipe that stays open is not waited on.
    // False with WHY when no usable secret came.
    static bool ReadLine(int descriptor, QByteArray* secret, QString* why);

    void Set(const QByteArray& secret) { m_secret = secret; }
    bool IsSet() const { return !m_secret.isEmpty(); }

    // Whether OFFERED is the secret. Both are hashed first, so the time taken
    // tells neither where they differ nor how long the secret is.
    bool Matches(const QByteArray& offered) const;

private:
    QByteArray m_secret;
};
