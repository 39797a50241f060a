#include "convert/ToolRunnerUnit.h"

#include <cmath>
#include <limits>

#include <QByteArray>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "base/ToolConsole.h"
#include "base/ToolEnvironment.h"
#include "common/JobHostUnit.h"
#include "common/UserMessageUnit.h"

namespace {

// The patterns of base/ToolConsole.h rely on "." matching line breaks too and
// on "\s" being exactly space, tab, line feed, carriage return or form feed.
// This matcher's own "\s" also takes the vertical tab, so "\s" is rewritten
// into the explicit class. Everything else is passed on as it is.
QString MatcherPattern(std::string_view text)
{
    std::string result;
    bool inClass = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == 's')
                result += inClass ? " \\t\\n\\r\\f" : "[ \\t\\n\\r\\f]";
            else
                result.append(text.substr(i, 2));
            ++i;
            continue;
        }
        if (c == '[')
            inClass = true;
        else if (c == ']')
            inClass = false;
        result += c;
    }
    return QString::fromLatin1(result.data(), static_cast<qsizetype>(result.size()));
}

QRegularExpression Matcher(const std::string& pattern)
{
    return QRegularExpression(MatcherPattern(pattern),
                              QRegularExpression::DotMatchesEverythingOption);
}

// The four patterns are fixed: each is compiled once for the program's life.
const QRegularExpression& DurationMatcher()
{
    static const QRegularExpression matcher = Matcher(DurationPattern());
    return matcher;
}

const QRegularExpression& TimeMatcher()
{
    static const QRegularExpression matcher = Matcher(TimePattern());
    return matcher;
}

const QRegularExpression& AudioMatcher()
{
    static const QRegularExpression matcher = Matcher(AudioPattern());
    return matcher;
}

const QRegularExpression& AudioFallbackMatcher()
{
    static const QRegularExpression matcher = Matcher(AudioFallbackPattern());
    return matcher;
}

// The leftmost match of MATCHER in CHUNK; every byte stands for one character.
QRegularExpressionMatch FirstMatch(const QRegularExpression& matcher, std::string_view chunk)
{
    const QString text = QString::fromLatin1(chunk.data(), static_cast<qsizetype>(chunk.size()));
    return matcher.match(text);
}

std::string Group(const QRegularExpressionMatch& match, int group)
{
    return match.captured(group).toLatin1().toStdString();
}

// A run of decimal digits as a number, held at a bound far above any real
// position so that an absurd value cannot overflow.
long long DecimalValue(const QString& digits)
{
    constexpr long long bound = 1'000'000'000'000LL;
    long long value = 0;
    for (QChar c : digits) {
        value = value * 10 + (c.unicode() - '0');
        if (value >= bound)
            return bound;
    }
    return value;
}

int DurationSeconds(const QRegularExpressionMatch& match)
{
    return static_cast<int>(DecimalValue(match.captured(1)) * 3600 +
                            DecimalValue(match.captured(2)) * 60 + DecimalValue(match.captured(3)));
}

// To the nearest integer, exact halves to the even neighbour (the default
// rounding mode of the floating-point environment).
long double RoundHalfEven(long double value)
{
    return std::rintl(value);
}

}  // namespace

int ComputePercent(int filesCount, int fileNumber, long long seconds, int duration)
{
    if (filesCount <= 0 || duration <= 0)
        return 0;
    const long double share = RoundHalfEven(100.0L / static_cast<long double>(filesCount));
    const long double quotient =
        static_cast<long double>(seconds) / static_cast<long double>(duration);
    const long double filePercent = RoundHalfEven(quotient * 100.0L);
    // Q x S is a whole number; it is divided by 100 in floating point.
    const long double product = filePercent * share;
    long double percent =
        RoundHalfEven(product / 100.0L) + share * static_cast<long double>(fileNumber - 1);
    if (percent >= 100.0L)
        percent = 100.0L;
    if (percent < 0.0L)
        percent = 0.0L;
    return static_cast<int>(percent);
}

int FileShare(int filesCount)
{
    if (filesCount <= 0)
        return 0;
    return static_cast<int>(RoundHalfEven(100.0L / static_cast<long double>(filesCount)));
}

int ConvertScan(std::string_view chunk, int filesCount, int fileNumber, TScanState& state)
{
    const QRegularExpressionMatch duration = FirstMatch(DurationMatcher(), chunk);
    if (duration.hasMatch())
        state.Duration = DurationSeconds(duration);
    if (state.Duration == 0)
        return -1;
    const QRegularExpressionMatch time = FirstMatch(TimeMatcher(), chunk);
    if (!time.hasMatch())
        return -1;
    const int percent =
        ComputePercent(filesCount, fileNumber, DecimalValue(time.captured(1)), state.Duration);
    state.Position = DecimalValue(time.captured(1));
    state.ResultText = std::to_string(percent);
    return percent;
}

void ProbeScan(std::string_view chunk, TScanState& state)
{
    const QRegularExpressionMatch duration = FirstMatch(DurationMatcher(), chunk);
    if (duration.hasMatch()) {
        state.Duration = DurationSeconds(duration);
        state.ResultText = std::to_string(state.Duration);
    }

    const QRegularExpressionMatch audio = FirstMatch(AudioMatcher(), chunk);
    if (audio.hasMatch()) {
        for (int g = 1; g <= 4; ++g)
            state.ResultText += "|||" + Group(audio, g);
        return;
    }
    const QRegularExpressionMatch fallback = FirstMatch(AudioFallbackMatcher(), chunk);
    if (fallback.hasMatch()) {
        for (int g = 1; g <= 3; ++g)
            state.ResultText += "|||" + Group(fallback, g);
    }
}

TToolRunner::TToolRunner(TJobHost& host) : m_host(host) {}

TToolRunner::~TToolRunner() = default;

void TToolRunner::Start()
{
    Execute();
}

void TToolRunner::ScanForProgress(std::string_view chunk)
{
    const int percent = ConvertScan(chunk, FilesCount, FileNumber, m_scan);
    if (percent < 0)
        return;
    if (OnPercent)
        OnPercent();
    else
        m_host.SetProgress(percent);
}

namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void TToolRunner::Log(const std::string& line)
{
    if (LogLine)
        LogLine(line);
    else
        m_host.AppendDebugLine(line);
}

void TToolRunner::RunTool()
{
    Launch();
    while (!Finished()) {
        if (!Step())
            WaitForAny({this}, ToolPollInterval);
        m_host.ProcessMessages();
    }
}

void TToolRunner::Launch()
{
    ResultText.clear();
    ExitCode = -1;
    Stopped = false;
    Started = false;
    Output = TToolOutputLines();
    m_scan = TScanState();
    m_phase = TPhase::Over;
    m_process.reset();

    // A cancelled job walks its remaining files without starting the tool.
    if (m_host.StopRequested()) {
        Stopped = true;
        return;
    }

    m_process = std::make_unique<QProcess>();
    QProcess& process = *m_process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    if (ThreadBudget > 0) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(ToolThreadsVariable), QString::number(ThreadBudget));
        process.setProcessEnvironment(environment);
    }
    if (!Arguments.empty()) {
        QStringList arguments;
        for (size_t i = 1; i < Arguments.size(); ++i)
            arguments << FromUtf8(Arguments[i]);
        process.setProgram(FromUtf8(Arguments.front()));
        process.setArguments(arguments);
        process.start(QIODevice::ReadOnly);
    }
    if (Arguments.empty() || !process.waitForStarted(-1)) {
        const std::string tool = Arguments.empty() ? std::string() : Arguments.front();
        const std::string reason = process.errorString().toStdString();
        m_process.reset();
        ShowUserMessage(TMessageKind::Warning, MsgCannotCreate,
                        tool.empty() ? std::string("No usable temporary folder for the "
                                                   "conversion tool")
                                     : "Cannot start '" + tool + "': " + reason);
        return;
    }
    Started = true;
    m_phase = TPhase::Reading;
}

bool TToolRunner::Step()
{
    if (m_phase == TPhase::Over)
        return false;
    QProcess& process = *m_process;
    if (m_phase == TPhase::Stopping) {
        if (process.state() != QProcess::NotRunning) {
            if (m_stopping.elapsed() < ToolStopGrace)
                return false;
            process.kill();
            process.waitForFinished(-1);
        }
        EndRun();
        return true;
    }

    if (m_host.StopRequested()) {
        Stopped = true;
        Output.Finish();
        BeginStop();
        return true;
    }
    if (process.bytesAvailable() == 0) {
        if (process.state() != QProcess::NotRunning)
            return false;
        // The tool has ended and all its output is read. The read that finds
        // the output closed gives one last, empty chunk: the log of a run
        // that ended on its own closes with an empty line.
        Output.Finish();
        if (LogsChunks())
            Log(std::string());
        EndRun();
        return true;
    }
    QByteArray data = process.read(ToolChunkSize);
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0)
        data.truncate(nul);
    const std::string chunk = data.toStdString();
    if (LogsChunks())
        Log(chunk);
    Output.Add(chunk);
    ScanChunk(chunk);
    return true;
}

void TToolRunner::BeginStop()
{
    // Only the process this run started is asked to end: the tool removes
    // its unfinished output; one that does not end in time is killed.
    m_process->terminate();
    m_stopping.start();
    m_phase = TPhase::Stopping;
}

void TToolRunner::EndRun()
{
    QProcess& process = *m_process;
    if (!Stopped && m_host.StopRequested())
        Stopped = true;
    if (!Stopped && process.exitStatus() == QProcess::NormalExit)
        ExitCode = process.exitCode();
    ResultText = m_scan.ResultText;
    m_phase = TPhase::Over;
    m_process.reset();
}

void TToolRunner::WaitForAny(const std::vector<TToolRunner*>& runs, int ms)
{
    QEventLoop loop;
    bool waiting = false;
    for (TToolRunner* run : runs) {
        if (run->m_phase == TPhase::Over)
            continue;
        QObject::connect(run->m_process.get(), &QProcess::readyRead, &loop, &QEventLoop::quit);
        QObject::connect(run->m_process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        waiting = true;
    }
    if (!waiting)
        return;
    // The window's input waits for the job's next round of serving events;
    // the tools' output, timers and painting go on meanwhile.
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
