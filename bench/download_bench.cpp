// One download through the program's HTTP client, as the download job does
// it (size query, then the body into a file), for bench/download-bench:
//
//   download_bench URL FILE
//   download_bench --idle SECONDS
//
// Prints "seconds=<s> bytes=<n> peak_kib=<peak resident size>
// max_gap_ms=<longest wait between two window events>" on success; exits 1
// when the download failed. Nothing is asserted. The window events are a
// 1 ms timer, served whenever the client serves events. With --idle the same
// timer runs in a plain event loop for SECONDS and only max_gap_ms is
// printed: what the machine's load alone does to the gaps, the peer figure.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "BenchHost.h"
#include "common/UserMessageUnit.h"
#include "download/GetInetFileUnit.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_bench URL FILE | --idle SECONDS\n");
        return 2;
    }
    const bool idle = std::string(argv[1]) == "--idle";
    SetUserMessageHandler(
        [](TMessageKind, const std::string&, const std::string& text, const std::string&) {
            std::fprintf(stderr, "download_bench: %s\n", text.c_str());
        });
    TQuietHost host;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 maxGapNs = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        maxGapNs = std::max(maxGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    tick.start(1);
    if (idle) {
        QTimer::singleShot(static_cast<int>(std::atof(argv[2]) * 1000), &app,
                           &QCoreApplication::quit);
        app.exec();
        std::printf("max_gap_ms=%.1f\n", static_cast<double>(maxGapNs) / 1e6);
        return 0;
    }
    bool ok = false;
    {
        TGetInetFile inet(host);
        const int64_t size = inet.GetUrlSize(argv[1]);
        ok = inet.DownloadToFile(argv[1], argv[2], size);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (!ok)
        return 1;
    std::printf("seconds=%.3f bytes=%lld peak_kib=%ld max_gap_ms=%.1f\n", seconds,
                static_cast<long long>(QFileInfo(QString::fromLocal8Bit(argv[2])).size()),
                usage.ru_maxrss, static_cast<double>(maxGapNs) / 1e6);
    return 0;
}
