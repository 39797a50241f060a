// One download through the program's HTTP client, as the download job does
// it (size query, then the body into a file), for bench/download-bench:
//
//   download_bench URL FILE
//
// Prints "seconds=<s> bytes=<n> peak_kib=<peak resident size>" on success;
// exits 1 when the download failed. Nothing is asserted.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <string>

#include <sys/resource.h>

#include "BenchHost.h"
#include "common/UserMessageUnit.h"
#include "download/GetInetFileUnit.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_bench URL FILE\n");
        return 2;
    }
    SetUserMessageHandler(
        [](TMessageKind, const std::string&, const std::string& text, const std::string&) {
            std::fprintf(stderr, "download_bench: %s\n", text.c_str());
        });
    TQuietHost host;
    QElapsedTimer clock;
    clock.start();
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
    std::printf("seconds=%.3f bytes=%lld peak_kib=%ld\n", seconds,
                static_cast<long long>(QFileInfo(QString::fromLocal8Bit(argv[2])).size()),
                usage.ru_maxrss);
    return 0;
}
