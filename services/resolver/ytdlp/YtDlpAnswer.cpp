#include "services/resolver/ytdlp/YtDlpAnswer.h"

TYtDlpAnswer::TYtDlpAnswer(QNetworkAccessManager* manager, const TResolverLimits& limits,
                           QObject* parent)
    : QObject(parent),
      m_fetch(manager, limits),
      m_issue([](const TStreamSource& source) { return TStreamRegistry::Instance().Issue(source); })
{
    connect(&m_fetch, &TUrlFetch::Finished, this, &TYtDlpAnswer::FileChecked);
}

void TYtDlpAnswer::Start(const QJsonObject& info, const TAddressPolicy& policy)
{
    m_choice = ChooseFormat(info, [&policy](const QUrl& url) { return policy.AllowsUrl(url); });
    // A stream's own fetches keep to where the typed link may lead.
    m_choice.Source.Policy = policy;
    m_fetch.SetPolicy(policy);
    const QString note = QStringLiteral("yt-dlp %1: %2").arg(ExtractorKeyOf(info), m_choice.Note);
    m_choice.Note = note;
    switch (m_choice.Kind) {
        case TYtDlpChoice::TKind::None:
            DoneLater({}, note);
            return;
        case TYtDlpChoice::TKind::Stream:
            AnswerStream(m_choice.Source, note);
            return;
        case TYtDlpChoice::TKind::File:
            if (m_choice.ExtraHeaders.isEmpty() && !IsGenericExtractor(ExtractorKeyOf(info))) {
                DoneLater(m_choice.Url.adjusted(QUrl::RemoveFragment).toEncoded(), note);
                return;
            }
            // The generic extractor also takes any file that is not a page for a
            // video; it must pass the check every page candidate passes. And
            // most servers ignore the Referer a player sends: only when the file
            // is refused without the headers is a stream that sends them worth it.
            m_fetch.Start(m_choice.Url, TUrlFetch::TMode::HeadersOnly);
            return;
    }
}

void TYtDlpAnswer::FileChecked(const TFetchResult& result)
{
    if (result.Arrived && result.IsMedia) {
        emit Done(result.FinalUrl.adjusted(QUrl::RemoveFragment).toEncoded(),
                  m_choice.ExtraHeaders.isEmpty()
                      ? m_choice.Note
                      : m_choice.Note + QStringLiteral(", served without its headers"));
        return;
    }
    if (m_choice.ExtraHeaders.isEmpty()) {
        emit Done({}, m_choice.Note + QStringLiteral(", which is not media"));
        return;
    }
    AnswerStream(m_choice.Source, m_choice.Note + QStringLiteral(", needs its headers"));
}

void TYtDlpAnswer::AnswerStream(const TStreamSource& source, const QString& note)
{
    const QByteArray link = m_issue(source);
    DoneLater(link, link.isEmpty() ? note + QStringLiteral(", but no stream link can be issued")
                                   : note + QStringLiteral(", as a stream"));
}

void TYtDlpAnswer::DoneLater(const QByteArray& link, const QString& note)
{
    QMetaObject::invokeMethod(
        this, [this, link, note] { emit Done(link, note); }, Qt::QueuedConnection);
}
