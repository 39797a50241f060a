// Benchmarks of the conversion pages through the real main window (offscreen):
//
//   convert_bench cancel TOOL LONG_AUDIO [RUNS]
//       Cancel click to the tool process gone, over RUNS cancelled jobs.
//   convert_bench responsiveness TOOL LONG_VIDEO
//       The longest gap between two served window events during one conversion.
//   convert_bench overhead TOOL AUDIO...
//       An audio job of the given files through the window against the same
//       tool runs (probe and convert per file) from a shell script.
//   convert_bench parallel TOOL AUDIO...
//       The .wav and the .flac files among AUDIO, each set to MP3 and to M4A
//       through the window with one run per processor at once, with one run
//       at a time, and with the ffmpeg program run by xargs -P<processors>;
//       the longest gap between window events and the peak memory of the
//       program and its tool runs. CONVERT_BENCH_ROUNDS rounds (default 3).
//
// TOOL is the built conversion tool; it is copied into a private directory
// as the program would write it. Figures go to stdout; nothing is asserted.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include "BenchHost.h"
#include "TestEnvironment.h"
#include "WindowDriver.h"
#include "base/ToolEnvironment.h"
#include "common/UserMessageUnit.h"
#include "convert/ConvertJobUnit.h"
#include "ui/main_window.h"

namespace {

using TClock = std::chrono::steady_clock;

double Millis(TClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The running children of ours named like the tool.
std::vector<pid_t> ChildTools()
{
    std::vector<pid_t> children;
    const QString self = QString::number(getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        const qsizetype open = text.indexOf('(');
        if (open < 0 || close < 0 || text.mid(open + 1, close - open - 1) != "ffmod.exe")
            continue;
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest[0] != "Z" && rest[1] == self.toLatin1())
            children.push_back(static_cast<pid_t>(entry.toInt()));
    }
    return children;
}

// The running child of ours named like the tool, or 0.
pid_t ChildTool()
{
    const std::vector<pid_t> children = ChildTools();
    return children.empty() ? 0 : children.front();
}

// The resident memory of PID in kB (0 when it is gone).
long long ResidentKb(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong();
    }
    return 0;
}

// Every child process of ours, from the kernel's list per thread (cheap
// enough to read every few milliseconds).
std::vector<pid_t> Children()
{
    std::vector<pid_t> children;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(getpid());
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(tasks + "/" + task + "/children");
        if (!list.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& pid : list.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty())
                children.push_back(static_cast<pid_t>(pid.trimmed().toInt()));
        }
    }
    return children;
}

// The highest sum of this program's and its tool runs' resident memory,
// sampled every 20 ms while it lives.
class TMemoryPeak
{
public:
    TMemoryPeak()
        : m_thread([this] {
              while (!m_stop) {
                  long long sum = ResidentKb(getpid());
                  for (const pid_t child : Children())
                      sum += ResidentKb(child);
                  m_peakKb = std::max(m_peakKb.load(), sum);
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {}
    ~TMemoryPeak() { Stop(); }
    TMemoryPeak(const TMemoryPeak&) = delete;
    TMemoryPeak& operator=(const TMemoryPeak&) = delete;

    // The peak in MB once sampling has stopped.
    double StopMb()
    {
        Stop();
        return double(m_peakKb) / 1024;
    }

private:
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_peakKb{0};
    std::thread m_thread;
};

// The gaps between two served window events (a 1 ms timer) while COUNTING
// says they count.
class TEventGaps
{
public:
    explicit TEventGaps(std::function<bool()> counting)
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this, counting] {
            const TClock::time_point now = TClock::now();
            if (m_last != TClock::time_point{} && counting()) {
                m_gaps.push_back(Millis(now - m_last));
                if (m_gaps.back() > 50 && qEnvironmentVariableIsSet("CONVERT_BENCH_VERBOSE"))
                    std::fprintf(stderr, "gap of %.1f ms\n", m_gaps.back());
            }
            m_last = now;
        });
        m_ticker.start();
    }

    void Stop() { m_ticker.stop(); }
    const std::vector<double>& Gaps() const { return m_gaps; }
    double Longest() const
    {
        return m_gaps.empty() ? 0 : *std::max_element(m_gaps.begin(), m_gaps.end());
    }
    double Percentile99() const
    {
        std::vector<double> sorted = m_gaps;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() * 99 / 100];
    }

private:
    QTimer m_ticker;
    TClock::time_point m_last{};
    std::vector<double> m_gaps;
};

// True once PID has ended (gone, or a zombie waiting to be collected).
bool Ended(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

// The main window, timing what serving its events costs during a job.
class TTimedWindow : public TMainWindow
{
public:
    double ServedMs = 0;
    void ProcessMessages() override
    {
        const TClock::time_point start = TClock::now();
        TMainWindow::ProcessMessages();
        ServedMs += Millis(TClock::now() - start);
    }
};

class TBench
{
public:
    explicit TBench(const QString& tool)
    {
        m_toolCopy = m_runtime.File(QStringLiteral("ffmod.exe"));
        m_ok = QFile::copy(tool, m_toolCopy);
        m_out = m_runtime.File(QStringLiteral("out"));
        QDir().mkpath(m_out);
        SetUserMessageHandler([this](TMessageKind, const std::string&, const std::string& text,
                                     const std::string&) { m_messages.push_back(text); });
        m_window.show();
    }

    bool Ok() const { return m_ok; }
    const QString& ToolCopy() const { return m_toolCopy; }
    TTimedWindow& Window() { return m_window; }
    std::vector<std::string>& Messages() { return m_messages; }

    QAbstractButton* Button(const char* name) { return WindowButton(m_window, name); }

    bool Prepare(TPage page, const QStringList& files, const char* format)
    {
        return PrepareConversion(m_window, page, files, m_out, format);
    }

private:
    TPrivateRuntimeDir m_runtime;
    QString m_toolCopy;
    QString m_out;
    bool m_ok = false;
    std::vector<std::string> m_messages;
    TTimedWindow m_window;
};

int CancelLatency(TBench& bench, const QString& input, int runs)
{
    std::vector<double> latencies;
    for (int run = 0; run < runs; ++run) {
        if (!bench.Prepare(TPage::Audio, {input}, "MPEG Layer-3 (MP3)"))
            return 1;
        std::atomic<bool> done{false};
        TClock::time_point clicked;
        std::atomic<long long> endedAt{0};
        std::thread watcher;
        QElapsedTimer converting;
        // Cancel a while after the conversion has shown its first percent.
        const int delay = 50 + (run * 37) % 250;
        WhenTrue(
            &bench.Window(),
            [&] {
                if (bench.Window().ProgressPosition() <= 0)
                    return false;
                if (!converting.isValid())
                    converting.start();
                return converting.elapsed() >= delay;
            },
            [&] {
                const pid_t pid = ChildTool();
                if (pid == 0)
                    return;
                watcher = std::thread([pid, &endedAt, &done] {
                    while (!done && !Ended(pid))
                        std::this_thread::sleep_for(std::chrono::microseconds(100));
                    endedAt = TClock::now().time_since_epoch().count();
                });
                clicked = TClock::now();
                bench.Button("ProcessCancelBtn")->click();
            });
        bench.Button("ProcessOkBtn")->click();
        done = true;
        if (!watcher.joinable()) {
            std::fprintf(stderr, "run %d: the conversion ended before Cancel\n", run);
            continue;
        }
        watcher.join();
        latencies.push_back(Millis(TClock::time_point(TClock::duration(endedAt.load())) - clicked));
    }
    std::printf("cancel latency over %zu runs: median %.1f ms, max %.1f ms (target < 100 ms)\n",
                latencies.size(), Median(latencies),
                latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()));
    return latencies.empty() ? 1 : 0;
}

int Responsiveness(TBench& bench, const QString& input)
{
    if (!bench.Prepare(TPage::Video, {input}, "MPEG-4 Video File (MP4)"))
        return 1;
    const TClock::time_point start = TClock::now();
    TEventGaps gaps([&bench] { return bench.Window().ProgressPosition() > 0; });
    bench.Button("ProcessOkBtn")->click();
    const double total = Millis(TClock::now() - start);
    gaps.Stop();
    std::printf(
        "responsiveness during a %.1f s conversion: %zu events, longest gap %.1f ms, "
        "99th percentile %.1f ms, median %.2f ms (target < 50 ms); result: %s\n",
        total / 1000, gaps.Gaps().size(), gaps.Longest(), gaps.Percentile99(), Median(gaps.Gaps()),
        bench.Messages().empty() ? "-" : bench.Messages().back().c_str());
    return 0;
}

int Overhead(TBench& bench, const QStringList& inputs, int rounds)
{
    // One job through the window first, to learn its commands. The logged
    // commands are valid shell text for these plain paths.
    if (!bench.Prepare(TPage::Audio, inputs, "MPEG Layer-3 (MP3)"))
        return 1;
    bench.Button("ProcessOkBtn")->click();
    const std::string log = bench.Window().DebugTextContent();
    QByteArray script;
    int file = 0;
    for (size_t p = log.find("RUN: "); p != std::string::npos; p = log.find("RUN: ", p + 1)) {
        const size_t end = log.find('\n', p);
        const QByteArray input = inputs.at(file++).toUtf8();
        script += bench.ToolCopy().toUtf8() + " -vn -i \"" + input + "\" >/dev/null 2>&1\n";
        script += QByteArray::fromStdString(log.substr(p + 5, end - p - 5)) + " >/dev/null 2>&1\n";
    }

    TAudioJobInput job;
    for (const QString& input : inputs)
        job.InputFiles.push_back(input.toStdString());
    job.DestinationFolder = bench.Window().SelectedFolder(TPage::Audio);
    job.Format = "MPEG Layer-3 (MP3)";
    job.Frequency = job.Bitrate = job.Channels = "Same As Input";

    const std::function<void()> ways[] = {
        [&] { bench.Button("ProcessOkBtn")->click(); },
        [&] {
            // The same job without the window: what the runner itself costs.
            TQuietHost host;
            RunAudioJob(job, host);
        },
        [&] {
            QProcess sh;
            sh.setStandardInputFile(QProcess::nullDevice());
            sh.start(QStringLiteral("sh"), {"-c", QString::fromUtf8(script)});
            sh.waitForFinished(-1);
        },
    };
    std::vector<double> times[3];
    for (int round = 0; round < rounds; ++round) {
        // Alternate the order, so that a change of load hits every way alike.
        for (int i = 0; i < 3; ++i) {
            const int way = round % 2 ? 2 - i : i;
            const TClock::time_point start = TClock::now();
            ways[way]();
            times[way].push_back(Millis(TClock::now() - start));
        }
    }
    std::printf("serving window events took %.0f ms in all %d window jobs\n",
                bench.Window().ServedMs, rounds + 1);
    const double w = Median(times[0]);
    const double j = Median(times[1]);
    const double s = Median(times[2]);
    std::printf(
        "overhead of a %lld-file audio job: window %.0f ms, job without window %.0f ms, "
        "shell %.0f ms (medians of %d); window/shell %.3f, job/shell %.3f (target "
        "within 3%%); result: %s\n",
        static_cast<long long>(inputs.size()), w, j, s, rounds, w / s, j / s,
        bench.Messages().empty() ? "-" : bench.Messages().back().c_str());
    return 0;
}

struct TBatch
{
    double Ms = 0;
    double LongestGapMs = 0;
    double PeakMb = 0;
};

// One audio job of INPUTS through the window with JOBS runs at once.
TBatch WindowBatch(TBench& bench, const QStringList& inputs, const char* format,
                   const QByteArray& jobs)
{
    const TEnvOverride width(ToolJobsVariable, jobs);
    TBatch batch;
    if (!bench.Prepare(TPage::Audio, inputs, format) ||
        !bench.Window().SelectListItem("AudioFrequenciesList", "44100 kHz") ||
        !bench.Window().SelectListItem("AudioBitrateList", "128 kbit") ||
        !bench.Window().SelectListItem("AudioChannelsModeList", "Stereo (2 Channel Mode)"))
        return batch;
    TMemoryPeak memory;
    TEventGaps gaps([&bench] { return bench.Window().IsJobRunning(); });
    const TClock::time_point start = TClock::now();
    bench.Button("ProcessOkBtn")->click();
    batch.Ms = Millis(TClock::now() - start);
    gaps.Stop();
    batch.LongestGapMs = gaps.Longest();
    batch.PeakMb = memory.StopMb();
    return batch;
}

// The ffmpeg program on the same files, PROCESSES at once through xargs.
double XargsBatch(const QStringList& inputs, const QString& out, const QString& codec,
                  const QString& extension, int processes)
{
    QString script = QStringLiteral("cd '%1' && printf '%s\\0'").arg(QFileInfo(inputs[0]).path());
    for (const QString& input : inputs)
        script += " '" + QFileInfo(input).fileName() + "'";
    script += QStringLiteral(
                  " | xargs -0 -P%1 -I{} ffmpeg -v error -nostdin -y -i {} -ar 44100 "
                  "-b:a 128k -ac 2 -vn -c:a %2 '%3'/{}.%4")
                  .arg(processes)
                  .arg(codec, out, extension);
    QProcess sh;
    sh.setStandardInputFile(QProcess::nullDevice());
    const TClock::time_point start = TClock::now();
    sh.start(QStringLiteral("sh"), {"-c", script});
    sh.waitForFinished(-1);
    if (sh.exitCode() != 0)
        std::fprintf(stderr, "xargs batch failed: %s\n", sh.readAllStandardError().constData());
    return Millis(TClock::now() - start);
}

int Parallel(TBench& bench, const QStringList& inputs, int rounds)
{
    const int processors = QThread::idealThreadCount();
    const QByteArray all = QByteArray::number(processors);
    QTemporaryDir xargsOut;
    struct TTarget
    {
        const char* Format;
        const char* Codec;
        const char* Extension;
    };
    const TTarget targets[] = {{"MPEG Layer-3 (MP3)", "libmp3lame", "mp3"},
                               {"Itunes Audio (M4A)", "aac", "m4a"}};
    for (const char* kind : {"wav", "flac"}) {
        QStringList files;
        for (const QString& input : inputs) {
            if (input.endsWith(QLatin1String(".") + kind))
                files << input;
        }
        if (files.isEmpty())
            continue;
        for (const TTarget& target : targets) {
            std::vector<double> times[3];
            double longestGap = 0;
            double peakAll = 0;
            double peakOne = 0;
            for (int round = 0; round < rounds; ++round) {
                // Alternate the order, so that a change of load hits every way alike.
                for (int i = 0; i < 3; ++i) {
                    const int way = round % 2 ? 2 - i : i;
                    if (way == 2) {
                        times[2].push_back(XargsBatch(files, xargsOut.path(), target.Codec,
                                                      target.Extension, processors));
                        continue;
                    }
                    const TBatch batch =
                        WindowBatch(bench, files, target.Format, way == 0 ? all : "1");
                    times[way].push_back(batch.Ms);
                    if (way == 0) {
                        longestGap = std::max(longestGap, batch.LongestGapMs);
                        peakAll = std::max(peakAll, batch.PeakMb);
                    } else {
                        peakOne = std::max(peakOne, batch.PeakMb);
                    }
                }
            }
            const double w = Median(times[0]);
            const double one = Median(times[1]);
            const double x = Median(times[2]);
            std::printf(
                "%lld %s to %s: %d at once %.0f ms, one at a time %.0f ms, xargs -P%d ffmpeg "
                "%.0f ms (medians of %d); %d at once / one at a time %.3f (target <= 0.55), "
                "/ xargs %.3f (target <= 1.05); longest event gap %.1f ms (target < 20 ms); "
                "peak memory %.0f MB (one at a time %.0f MB); result: %s\n",
                static_cast<long long>(files.size()), kind, target.Extension, processors, w, one,
                processors, x, rounds, processors, w / one, w / x, longestGap, peakAll, peakOne,
                bench.Messages().empty() ? "-" : bench.Messages().back().c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr,
                     "usage: convert_bench cancel|responsiveness|overhead|parallel TOOL MEDIA... "
                     "[RUNS]\n");
        return 2;
    }
    TBench bench(args[2]);
    if (!bench.Ok()) {
        std::fprintf(stderr, "cannot copy the tool %s\n", qPrintable(args[2]));
        return 1;
    }
    if (args[1] == QLatin1String("cancel"))
        return CancelLatency(bench, args[3], args.size() > 4 ? args[4].toInt() : 20);
    if (args[1] == QLatin1String("responsiveness"))
        return Responsiveness(bench, args[3]);
    if (args[1] == QLatin1String("overhead"))
        return Overhead(bench, args.mid(3), 5);
    if (args[1] == QLatin1String("parallel"))
        return Parallel(bench, args.mid(3),
                        qEnvironmentVariableIntValue("CONVERT_BENCH_ROUNDS") > 0
                            ? qEnvironmentVariableIntValue("CONVERT_BENCH_ROUNDS")
                            : 3);
    std::fprintf(stderr, "unknown benchmark %s\n", qPrintable(args[1]));
    return 2;
}
