#pragma once

// yt-dlp spends a good part of every run starting Python and loading its
// modules. One process is kept started ahead, waiting on its standard
// input for the link (which thereby never shows on a command line), so
// that the next run skips that part. It is used only while it is the
// program PATH names now and still waits; else a run starts its own.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// A yt-dlp process of PROGRAM with ARGUMENTS, started, reading the link
// from its standard input; its process group dies with it and with the
// service.
std::unique_ptr<QProcess> StartYtDlpProcess(const QString& program, const QStringList& arguments);

class TYtDlpSpare
{
public:
    // The waiting process when it matches, else a new one.
    static std::unique_ptr<QProcess> Take(const QString& program, const QStringList& arguments);
    // Starts the process the next run takes, unless one is waiting.
    static void Prepare(const QString& program, const QStringList& arguments);
};
