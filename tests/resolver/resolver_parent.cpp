// A stand-in for the program in the resolver launch test: starts the
// program's own resolver, prints its process id, then waits to be killed.

#include "download/ResolverLauncher.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    SetResolverExecutable(argv[1]);
    if (ResolverBaseAddress().empty())
        return 1;
    std::printf("%lld\n", static_cast<long long>(StartedResolverProcessId()));
    std::fflush(stdout);
    return app.exec();
}
