#pragma once

// Test doubles for the conversion jobs: a private temporary directory that
// GetTempDirectory answers with, and a scripted stand-in for the conversion
// tool written there as "ffmod.exe". The recording job host and message
// recorder come with them.

#include <csignal>
#include <limits>
#include <string>
#include <vector>

#include <QFile>
#include <QStringList>

#include "JobRecorders.h"
#include "TestEnvironment.h"

// The tool's console output as the real one writes it: CR LF line ends.
inline QByteArray ToolLines(std::initializer_list<const char*> lines)
{
    QByteArray text;
    for (const char* line : lines)
        text += QByteArray(line) + "\r\n";
    return text;
}

inline const QByteArray ProbeOutput = ToolLines(
    {"Input #0, mp3, from 'in.mp3':", "  Duration: 00:00:10.00, start: 0.000000, bitrate: 128 kb/s",
     "    Stream #0.0: Audio: mp3, 44100 Hz, stereo, 128 kb/s",
     "Must supply at least one output file"});
inline const QByteArray ProgressOutput =
    ToolLines({"Input #0, mp3, from 'in.mp3':", "  Duration: 00:00:10.00, start: 0.000000",
               "size=      10kB time=5.00 bitrate= 128.0kbits/s"});

// The stand-in tool. A probe run (first argument "-vn") prints ProbeText and
// exits with ProbeExit. A convert run prints ConvertText (and "converting
// <input>" with EchoInput), waits SleepSeconds (10 s when the input path contains "slow", 1 s
// more when it contains "long"), then writes its last argument (unless
// CreateOutput is false), prints AfterText and exits with ConvertExit. An
// input whose path contains "bad" prints "bad input: cannot be decoded" and
// exits with 1 at once. With EarlyOutput the output holds "partial" while the
// run waits. SIGTERM removes the output and exits with 255, unless
// IgnoreTerm. Every call appends its arguments, each as <arg>, to calls.log;
// a convert run writes its process id to "pid", and its start and end to
// runs.log (see Runs).
struct TFakeToolPlan
{
    QByteArray ProbeText = ProbeOutput;
    int ProbeExit = 1;
    QByteArray ConvertText = ProgressOutput;
    QByteArray AfterText;
    double SleepSeconds = 0;
    bool CreateOutput = true;
    bool EarlyOutput = false;
    bool EchoInput = false;
    int ConvertExit = 0;
    bool IgnoreTerm = false;
};

// One convert run of the stand-in as runs.log tells it.
struct TFakeRun
{
    qint64 Pid = 0;
    QString Input;
    QString Threads;     // QUORVEX_THREADS in its environment, "unset" without
    qint64 StartNs = 0;  // wall clock, nanoseconds
    qint64 EndNs = -1;   // -1: did not end on its own
};

// Whether the process PID has ended.
inline bool ProcessGone(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0;
}

inline bool Overlap(const TFakeRun& a, const TFakeRun& b)
{
    const auto end = [](const TFakeRun& r) {
        return r.EndNs < 0 ? std::numeric_limits<qint64>::max() : r.EndNs;
    };
    return a.StartNs < end(b) && b.StartNs < end(a);
}

class TFakeToolDir
{
public:
    QString Path() const { return m_dir.Path(); }
    QString File(const QString& name) const { return m_dir.File(name); }
    std::string ToolPath() const { return File("ffmod.exe").toStdString(); }
    // The process id of the last convert run.
    qint64 LastPid() const
    {
        QFile file(File("pid"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }

    bool Install(const TFakeToolPlan& plan) const
    {
        bool ok = Write("probe.out", plan.ProbeText) && Write("convert.out", plan.ConvertText) &&
                  Write("after.out", plan.AfterText);
        QByteArray script =
            "#!/bin/sh\n"
            "d=$(dirname \"$0\")\n"
            // One write per call: runs at once must not interleave their lines.
            "line=$(for a in \"$@\"; do printf '<%s>' \"$a\"; done)\n"
            "printf '%s\\n' \"$line\" >> \"$d/calls.log\"\n"
            "if [ \"$1\" = \"-vn\" ]; then cat \"$d/probe.out\"; exit " +
            QByteArray::number(plan.ProbeExit) +
            "; fi\n"
            "for a in \"$@\"; do out=$a; done\n"
            "echo $$ > \"$d/pid\"\n"
            "echo \"start $$ $(date +%s%N) ${QUORVEX_THREADS:-unset} $2\" >> \"$d/runs.log\"\n"
            "case \"$2\" in *bad*) cat \"$d/convert.out\"; "
            "echo 'bad input: cannot be decoded'; "
            "echo \"end $$ $(date +%s%N)\" >> \"$d/runs.log\"; exit 1;; esac\n"
            "s=" +
            QByteArray::number(plan.SleepSeconds) +
            "\n"
            "case \"$2\" in *slow*) s=10;; *long*) s=" +
            QByteArray::number(plan.SleepSeconds + 1) + ";; esac\n" +
            (plan.IgnoreTerm ? QByteArray("trap '' TERM\n")
                             : QByteArray("trap 'kill $p 2>/dev/null; rm -f \"$out\"; exit 255' "
                                          "TERM\n")) +
            "cat \"$d/convert.out\"\n" +
            (plan.EchoInput ? QByteArray("echo \"converting $2\"\n") : QByteArray()) +
            (plan.EarlyOutput ? QByteArray("printf partial > \"$out\"\n") : QByteArray()) +
            "sleep $s >/dev/null 2>&1 & p=$!\n"
            "wait $p\n" +
            (plan.CreateOutput ? QByteArray("printf converted > \"$out\"\n") : QByteArray()) +
            "cat \"$d/after.out\"\n"
            "echo \"end $$ $(date +%s%N)\" >> \"$d/runs.log\"\n"
            "exit " +
            QByteArray::number(plan.ConvertExit) + "\n";
        ok = ok && Write("ffmod.exe", script);
        QFile::remove(File("calls.log"));
        QFile::remove(File("runs.log"));
        return ok && QFile::setPermissions(File("ffmod.exe"),
                                           QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // One entry per tool run: the arguments it was given.
    std::vector<QStringList> Calls() const
    {
        std::vector<QStringList> calls;
        QFile log(File("calls.log"));
        if (!log.open(QIODevice::ReadOnly))
            return calls;
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            QString text = QString::fromUtf8(line);
            text.chop(1);
            calls.push_back(text.mid(1).split(QStringLiteral("><")));
        }
        return calls;
    }

    // The convert runs so far, in the order they started.
    std::vector<TFakeRun> Runs() const
    {
        std::vector<TFakeRun> runs;
        QFile log(File("runs.log"));
        if (!log.open(QIODevice::ReadOnly))
            return runs;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() >= 5 && words[0] == "start") {
                TFakeRun run;
                run.Pid = words[1].toLongLong();
                run.StartNs = words[2].toLongLong();
                run.Threads = QString::fromUtf8(words[3]);
                qsizetype at = 0;
                for (int w = 0; w < 4; ++w)
                    at += words[w].size() + 1;
                run.Input = QString::fromUtf8(line.mid(at));
                runs.push_back(run);
            } else if (words.size() == 3 && words[0] == "end") {
                for (TFakeRun& run : runs) {
                    if (run.Pid == words[1].toLongLong() && run.EndNs < 0)
                        run.EndNs = words[2].toLongLong();
                }
            }
        }
        return runs;
    }

private:
    bool Write(const char* name, const QByteArray& data) const
    {
        QFile file(File(QString::fromLatin1(name)));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(data) == data.size();
    }

    TPrivateRuntimeDir m_dir;
};
