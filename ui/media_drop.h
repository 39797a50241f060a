#pragma once

// What a drop from a file manager or a browser brings to the window: the
// input files for a conversion page (dropped folders searched for media
// files) or the link for the download page.

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

class QMimeData;

// The extensions (lower case, without the dot) named by a Qt name filter
// such as "Media (*.[mM][pP]3 *.ogg);;All files (*)". "*" names none.
QSet<QString> FilterExtensions(const QString& nameFilter);

// Media the tool converts beyond the open dialogs' filters: sound files, and
// films (whose sound the audio page can take as well).
const QStringList& ExtraAudioExtensions();
const QStringList& ExtraVideoExtensions();

// Orders file names the way a file manager lists them: without regard to
// case, and a run of digits by its value ("track 2" before "track 10").
bool NameLessThan(const QString& a, const QString& b);

// The input files a drop names, in the order dropped: a file as it is, a
// folder replaced by the media files (MEDIAEXTENSIONS, any case) inside it
// and its subfolders, each folder's entries in name order. Hidden entries and
// linked folders are not entered; links that are not local files are left
// out; a file named twice is listed once.
QStringList DroppedInputFiles(const QList<QUrl>& urls, const QSet<QString>& mediaExtensions);

// True when the drop names at least one local file or folder.
bool DropHasLocalFiles(const QMimeData& mime);

// The web link a drop carries (the first http or https link, or dragged text
// that is one), or "" when it carries none.
QString DroppedLink(const QMimeData& mime);
