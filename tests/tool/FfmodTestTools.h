#pragma once

// What the tool's tests share: the built tool, the command lines the program
// gives it, and small file helpers.

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "tests/support/TestMedia.h"

inline const QString kTool = QStringLiteral(FFMOD_PATH);

// The job's settings part of a command line, split at blanks as the program
// passes it (doubled blanks give empty arguments).
inline QStringList Words(const QString& text)
{
    return text.isEmpty() ? QStringList{} : text.split(QLatin1Char(' '));
}

inline QStringList ConvertArgs(const QString& input, const QString& settings, const QString& output)
{
    return QStringList{"", "-i", input} + Words(settings) +
           QStringList{"-copyright", "Brimlow LLC", "-comment", "Quorvex - Media Converter",
                       "-y",         output};
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline double DurationOf(const QJsonObject& probe)
{
    return probe.value("format").toObject().value("duration").toString().toDouble();
}

// Writes bytes to path, replacing what is there; false when it cannot.
inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The folder's entries, hidden ones and nodes other than files included.
inline QStringList EntriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot |
                               QDir::System);
}

// The folder name inside dir, emptied (made when it is not there); its path.
inline QString FreshDirIn(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}
