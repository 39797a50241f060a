#include "services/resolver/ytdlp/YtDlpNotice.h"

#include <QDateTime>
#include <QSet>

#include <cstdio>

void ReportYtDlpUnavailableOnce(const QString& why)
{
    static QSet<QString> reported;
    if (reported.contains(why))
        return;
    reported.insert(why);
    const QByteArray stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    std::fprintf(stderr, "%s %s: pages are resolved by the built-in rules alone\n",
                 stamp.constData(), why.toUtf8().constData());
    std::fflush(stderr);
}
