#pragma once

// GET /get-url/stream/<token>.flv: serves the stream a token names as one
// file, made on the fly. The body goes out in chunks as the remux produces
// it, with no Content-Length; the final zero-length chunk is sent only when
// the remux finished cleanly, so a stream that breaks off is a transfer that
// breaks off for the asker too. An unknown or expired token gets 404; a
// source that cannot be opened, 502.

#include "services/resolver/net/ResolverLimits.h"

#include <QHostAddress>

class QHttpServer;

// Adds the stream route to SERVER, listening on ADDRESS:PORT, and makes the
// registry's links point there.
void ServeStreams(QHttpServer& server, const TResolverLimits& limits, const QHostAddress& address,
                  quint16 port);

// "http://127.0.0.1:8790" for a server on ADDRESS:PORT; a server on every
// address is reached at 127.0.0.1.
QByteArray StreamBaseAddress(const QHostAddress& address, quint16 port);
