#pragma once

// What one stream is made from: the links the remux reads and the rules
// every fetch of them keeps to.

#include "services/resolver/net/AddressPolicy.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <optional>

struct TStreamSource
{
    // One link (a playlist, a manifest or a plain file), or two (video, audio).
    QList<QUrl> Inputs;
    // Request headers every fetch of the source carries (Referer,
    // User-Agent, Cookie, ...).
    QList<QPair<QByteArray, QByteArray>> Headers;
    // Where the fetches may go, beyond being http or https: the policy of the
    // typed link the stream was found for.
    std::optional<TAddressPolicy> Policy;
};
