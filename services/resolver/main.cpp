// quorvex-resolver: the small web service the download page asks for the
// direct media link behind a page link.

#include "services/resolver/ResolverServer.h"
#include "services/resolver/page/PageParse.h"
#include "services/resolver/server/Descriptors.h"
#include "services/resolver/server/RequestGuard.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "base/ResolverProtocol.h"
#include "base/Version.h"

namespace {

bool ParseSeconds(const QString& text, int* milliseconds)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 3600)
        return false;
    *milliseconds = static_cast<int>(seconds * 1000);
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvex-resolver"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers GET %1?%2<link> with the direct media link behind a web page "
                       "link, or \"%3\".")
            .arg(ResolvePath, ResolveLinkKey, RefusalAnswer));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Address and port to listen on; port 0 takes a free one and prints it."),
        QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8790"));
    const QCommandLineOption fetchTimeoutOption(
        QStringLiteral("fetch-timeout"),
        QStringLiteral("Seconds a fetch may go without data (default 15)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption answerTimeoutOption(
        QStringLiteral("answer-timeout"),
        QStringLiteral("Seconds within which every request is answered (default 30)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption idleTimeoutOption(
        QStringLiteral("idle-timeout"),
        QStringLiteral("Seconds after which an idle connection is closed (default 10)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption hostNameOption(
        QStringLiteral("host-name"),
        QStringLiteral("A name this service is also asked by, besides its address and localhost "
                       "(for a service other machines use; repeatable)."),
        QStringLiteral("NAME"));
    QCommandLineOption finderOption(
        TPageParse::FinderOption(),
        QStringLiteral("Internal: read a page's address and the page from standard input."));
    finderOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(finderOption);
    parser.addOption(listenOption);
    parser.addOption(fetchTimeoutOption);
    parser.addOption(answerTimeoutOption);
    parser.addOption(idleTimeoutOption);
    parser.addOption(hostNameOption);
    parser.process(app);

    TResolverLimits limits;
    if (parser.isSet(finderOption))
        return TPageParse::RunCandidateFinder(limits.MaxPageBytes);
    if (parser.isSet(fetchTimeoutOption) &&
        !ParseSeconds(parser.value(fetchTimeoutOption), &limits.FetchIdleTimeoutMs)) {
        std::fprintf(stderr, "quorvex-resolver: --fetch-timeout needs a number of seconds\n");
        return 2;
    }
    if (parser.isSet(answerTimeoutOption) &&
        !ParseSeconds(parser.value(answerTimeoutOption), &limits.AnswerTimeoutMs)) {
        std::fprintf(stderr, "quorvex-resolver: --answer-timeout needs a number of seconds\n");
        return 2;
    }

    int idleTimeoutMs = 10000;
    if (parser.isSet(idleTimeoutOption) &&
        !ParseSeconds(parser.value(idleTimeoutOption), &idleTimeoutMs)) {
        std::fprintf(stderr, "quorvex-resolver: --idle-timeout needs a number of seconds\n");
        return 2;
    }

    QHostAddress address;
    quint16 port = 0;
    const QString listen = parser.value(listenOption);
    if (!ParseListenAddress(listen, &address, &port)) {
        std::fprintf(stderr, "quorvex-resolver: --listen needs ADDRESS:PORT, not \"%s\"\n",
                     qPrintable(listen));
        return 2;
    }

    RaiseOpenFileLimit();
    for (const QString& name : parser.values(hostNameOption))
        TRequestGuard::Instance().AddServedName(name);

    TResolverServer server(limits);
    server.SetIdleTimeout(idleTimeoutMs);
    const quint16 bound = server.Listen(address, port);
    if (bound == 0) {
        std::fprintf(stderr, "quorvex-resolver: cannot listen on %s (in use or not allowed)\n",
                     qPrintable(listen));
        return 1;
    }
    if (port == 0) {
        std::fputs(PortLine(bound).c_str(), stdout);
        std::fflush(stdout);
    }
    std::fprintf(stderr, "quorvex-resolver listening on %s:%u\n", qPrintable(address.toString()),
                 static_cast<unsigned>(bound));
    std::fflush(stderr);
    return app.exec();
}
