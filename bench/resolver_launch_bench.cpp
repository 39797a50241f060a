// What the program's own resolver adds to the first download of a run: one
// run of this driver makes two downloads of the same page, as the window
// would, and prints how long each took and how long the start alone took.
// Usage: resolver_launch_bench RESOLVER PAGE-URL FOLDER

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

#include "BenchHost.h"
#include "common/UserMessageUnit.h"
#include "download/DownloadThreadUnit.h"
#include "download/ResolverLauncher.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: resolver_launch_bench RESOLVER PAGE-URL FOLDER\n");
        return 2;
    }
    bool failed = false;
    SetUserMessageHandler([&failed](TMessageKind kind, const std::string&, const std::string& text,
                                    const std::string&) {
        failed = failed || kind != TMessageKind::Information;
        if (kind != TMessageKind::Information)
            std::fprintf(stderr, "resolver_launch_bench: %s\n", text.c_str());
    });
    SetResolverExecutable(argv[1]);
    TQuietHost host;
    double ms[2] = {};
    double startMs = 0;
    for (double& each : ms) {
        QElapsedTimer clock;
        clock.start();
        const bool fresh = StartedResolverProcessId() == 0;
        const std::string base = ResolverBaseAddress();
        if (fresh)
            startMs = clock.nsecsElapsed() / 1e6;
        DownloadProcessJob(host, argv[2], argv[3], base);
        each = clock.nsecsElapsed() / 1e6;
    }
    std::printf("first_ms=%.2f second_ms=%.2f start_ms=%.2f\n", ms[0], ms[1], startMs);
    return failed ? 1 : 0;
}
