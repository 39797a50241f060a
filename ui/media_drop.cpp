#include "ui/media_drop.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>

QSet<QString> FilterExtensions(const QString& nameFilter)
{
    // "*.[mM][pP]3" names "mp3": a bracket group stands for one letter in
    // either case, so its first character is enough.
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.([^\s;)]+))"));
    QSet<QString> extensions;
    for (const QRegularExpressionMatch& match : pattern.globalMatch(nameFilter)) {
        const QString glob = match.captured(1);
        QString extension;
        for (qsizetype i = 0; i < glob.size(); ++i) {
            if (glob[i] == QLatin1Char('[')) {
                const qsizetype close = glob.indexOf(QLatin1Char(']'), i);
                if (close < 0 || close == i + 1)
                    break;
                extension += glob[i + 1];
                i = close;
            } else {
                extension += glob[i];
            }
        }
        if (!extension.isEmpty() && !extension.contains(QLatin1Char('*')) &&
            !extension.contains(QLatin1Char('?')))
            extensions.insert(extension.toLower());
    }
    return extensions;
}

const QStringList& ExtraAudioExtensions()
{
    static const QStringList extensions = {
        QStringLiteral("flac"), QStringLiteral("opus"), QStringLiteral("oga"),
        QStringLiteral("aac"),  QStringLiteral("aif"),  QStringLiteral("aiff"),
        QStringLiteral("mp2"),  QStringLiteral("mka"),  QStringLiteral("wv"),
        QStringLiteral("ape"),  QStringLiteral("amr"),  QStringLiteral("au"),
        QStringLiteral("caf"),  QStringLiteral("m4b"),  QStringLiteral("spx")};
    return extensions;
}

const QStringList& ExtraVideoExtensions()
{
    static const QStringList extensions = {
        QStringLiteral("mkv"),  QStringLiteral("webm"), QStringLiteral("m4v"),
        QStringLiteral("ogv"),  QStringLiteral("ts"),   QStringLiteral("mts"),
        QStringLiteral("m2ts"), QStringLiteral("vob"),  QStringLiteral("asf"),
        QStringLiteral("f4v"),  QStringLiteral("dv"),   QStringLiteral("mxf")};
    return extensions;
}

bool NameLessThan(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Compare the two numbers by value: leading zeros aside, the
            // longer run is the larger, then digit by digit.
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            qsizetype startA = i;
            qsizetype startB = j;
            while (startA + 1 < endA && a[startA] == QLatin1Char('0'))
                ++startA;
            while (startB + 1 < endB && b[startB] == QLatin1Char('0'))
                ++startB;
            if (endA - startA != endB - startB)
                return endA - startA < endB - startB;
            const int digits = QStringView(a)
                                   .sliced(startA, endA - startA)
                                   .compare(QStringView(b).sliced(startB, endB - startB));
            if (digits != 0)
                return digits < 0;
            i = endA;
            j = endB;
            continue;
        }
        const QChar ca = a[i].toCaseFolded();
        const QChar cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;  // equal but for case or zeros: a stable, total order
}

namespace {

void AddMediaFiles(const QString& folder, const QSet<QString>& mediaExtensions, QStringList& files)
{
    QDir dir(folder);
    QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return NameLessThan(a.fileName(), b.fileName());
    });
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            // A linked folder may lead back up the tree: it is not entered.
            if (!entry.isSymLink())
                AddMediaFiles(entry.filePath(), mediaExtensions, files);
        } else if (mediaExtensions.contains(entry.suffix().toLower())) {
            files << entry.absoluteFilePath();
        }
    }
}

}  // namespace

QStringList DroppedInputFiles(const QList<QUrl>& urls, const QSet<QString>& mediaExtensions)
{
    QStringList found;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isDir())
            AddMediaFiles(QDir::cleanPath(info.absoluteFilePath()), mediaExtensions, found);
        else if (info.isFile())
            found << QDir::cleanPath(info.absoluteFilePath());
    }
    QStringList files;
    QSet<QString> seen;
    for (const QString& file : found) {
        const QString canonical = QFileInfo(file).canonicalFilePath();
        const QString key = canonical.isEmpty() ? file : canonical;
        if (!seen.contains(key)) {
            seen.insert(key);
            files << QDir::toNativeSeparators(file);
        }
    }
    return files;
}

bool DropHasLocalFiles(const QMimeData& mime)
{
    const QList<QUrl> urls = mime.urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

namespace {

bool IsWebLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

}  // namespace

QString DroppedLink(const QMimeData& mime)
{
    for (const QUrl& url : mime.urls()) {
        if (IsWebLink(url))
            return url.toString();
    }
    if (mime.hasText()) {
        const QString text = mime.text().trimmed();
        if (!text.contains(QLatin1Char('\n')) && IsWebLink(QUrl(text, QUrl::TolerantMode)))
            return text;
    }
    return {};
}
