#pragma once

// Short media made with the ffmpeg program's built-in sources, and what
// ffprobe and a full decode say about a file.

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

struct TRun
{
    int ExitCode = -1;
    QString Output;
};

// Runs PROGRAM without input; its exit code (-1 when it crashed or took
// longer than TIMEOUTMS) and both output channels merged.
inline TRun Run(const QString& program, const QStringList& args, int timeoutMs = 60000,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessEnvironment(environment);
    process.start(program, args);
    TRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.Output = QStringLiteral("timed out");
        return run;
    }
    run.Output = QString::fromUtf8(process.readAll());
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

// BYTES packed by the gzip program, as a server sends a gzip-coded body;
// empty when gzip failed.
inline QByteArray Gzipped(const QByteArray& bytes)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c"), QStringLiteral("-n")});
    if (!gzip.waitForStarted())
        return {};
    gzip.write(bytes);
    gzip.closeWriteChannel();
    if (!gzip.waitForFinished() || gzip.exitCode() != 0)
        return {};
    return gzip.readAllStandardOutput();
}

// ffmpeg with ARGS (inputs such as "-f lavfi -i sine=d=1", then the output);
// true when it made the file.
inline bool MakeMedia(const QStringList& args)
{
    const TRun run =
        Run(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-nostdin", "-y"} + args);
    if (run.ExitCode != 0)
        qWarning() << "ffmpeg failed:" << args << run.Output;
    return run.ExitCode == 0;
}

// ffprobe's description of the format and streams of PATH.
inline QJsonObject Probe(const QString& path)
{
    const TRun run = Run(QStringLiteral("ffprobe"),
                         {"-v", "error", "-show_format", "-show_streams", "-of", "json", path});
    return QJsonDocument::fromJson(run.Output.toUtf8()).object();
}

// The first stream of TYPE ("audio", "video") in a probe.
inline QJsonObject StreamOf(const QJsonObject& probe, const QString& type)
{
    for (const QJsonValue& s : probe.value("streams").toArray()) {
        if (s.toObject().value("codec_type").toString() == type)
            return s.toObject();
    }
    return {};
}

// The codec names of the audio and video streams of PATH, in stream order.
inline QStringList StreamCodecs(const QString& path)
{
    QStringList codecs;
    for (const QJsonValue& s : Probe(path).value("streams").toArray()) {
        const QString type = s.toObject().value("codec_type").toString();
        if (type == QLatin1String("audio") || type == QLatin1String("video"))
            codecs << s.toObject().value("codec_name").toString();
    }
    return codecs;
}

// What a full decode of PATH reports: empty when it decodes cleanly.
inline QString DecodeErrors(const QString& path)
{
    const TRun run =
        Run(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-i", path, "-f", "null", "-"});
    return run.ExitCode == 0 ? run.Output.trimmed() : QStringLiteral("exit ") + run.Output;
}
