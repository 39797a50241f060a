#pragma once

// The window code keeps its texts as UTF-8 std::string; Qt's widgets take
// QString. These two convert at that boundary.

#include <string>

#include <QString>

inline QString ToQ(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

inline std::string FromQ(const QString& text)
{
    return text.toUtf8().toStdString();
}
