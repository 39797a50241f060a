#pragma once

// Turns one link into a direct media link: the link itself when it is media,
// else the first candidate on its page whose response headers say media.

#include "PageParse.h"
#include "ResolverLimits.h"
#include "UrlFetch.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

class TResolveJob : public QObject
{
    Q_OBJECT

public:
    explicit TResolveJob(const TResolverLimits& limits, QObject* parent = nullptr);

    // The link exactly as it was asked for, bytes of a URL.
    void Start(const QByteArray& link);
    // Gives up without answering (the asker has gone away).
    void Cancel();

    // Why the answer is "error", or which candidate was taken; for the log.
    QString Note() const { return m_note; }

    static QByteArray ErrorAnswer() { return QByteArrayLiteral("error"); }

signals:
    // Emitted exactly once, with the media link or "error", unless cancelled.
    void Answered(const QByteArray& answer);

private:
    void LinkFetched(const TFetchResult& result);
    void PageRead(bool ok, const QList<QUrl>& candidates, const QString& failure);
    void CandidateChecked(const TFetchResult& result);
    void CheckNextCandidate();
    void Answer(const QByteArray& answer, const QString& note);

    TResolverLimits m_limits;
    // A connection pool of its own: the few connections allowed per host
    // must not be held up by another request's stalling page on that host.
    QNetworkAccessManager m_network;
    TUrlFetch m_fetch;
    TPageParse m_parse;
    bool m_pageTruncated = false;
    QTimer m_deadline;
    QUrl m_typedUrl;
    QList<QUrl> m_candidates;
    QUrl m_streamCandidate;  // the first candidate that is an HLS or DASH stream
    qsizetype m_nextCandidate = 0;
    bool m_answered = false;
    QString m_note;
};
