#pragma once

// The program's patterns for the tool's console lines, compiled as its runner
// compiles them: "." matches line breaks too.

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <string>

inline QRegularExpression ConsoleMatcher(const std::string& pattern)
{
    return QRegularExpression(QString::fromStdString(pattern),
                              QRegularExpression::DotMatchesEverythingOption);
}

// The groups of the first match of PATTERN in TEXT; empty when none.
inline QStringList ConsoleGroups(const std::string& pattern, const std::string& text)
{
    const QRegularExpressionMatch m = ConsoleMatcher(pattern).match(QString::fromStdString(text));
    QStringList groups;
    for (int g = 1; m.hasMatch() && g <= m.lastCapturedIndex(); ++g)
        groups << m.captured(g);
    return groups;
}
