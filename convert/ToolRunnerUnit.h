#pragma once

// One run of the conversion tool: start it from an argument list, read its
// merged console output in chunks of at most 1024 bytes while serving window
// events, scan every chunk, and stop the tool on Cancel. The audio and the
// video runner differ only in how they scan and whether they log the chunks.
// A run either goes on its own to its end (Start), or beside other runs that
// a job drives pass by pass (Launch, Step), all on the GUI thread.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QElapsedTimer>

#include "common/StringFunctionsUnit.h"
#include "convert/ToolOutputLinesUnit.h"

class QProcess;
class TJobHost;

// Largest piece of tool output handled in one pass of the read loop.
inline constexpr int ToolChunkSize = 1024;
// Longest wait for tool output before window events are served again (ms).
inline constexpr int ToolPollInterval = 20;
// How long a stopped tool gets to clean up before it is killed (ms).
inline constexpr int ToolStopGrace = 2000;

// The share of the progress bar reached when file K of N is T seconds into a
// file of D seconds; 100 at most. Extended precision, halves to even.
int ComputePercent(int filesCount, int fileNumber, long long seconds, int duration);
// The share of the progress bar one file of N covers (100 / N, halves to even).
int FileShare(int filesCount);

// What the scans of one run carry from chunk to chunk.
struct TScanState
{
    int Duration = 0;        // D: the input's duration in whole seconds
    long long Position = 0;  // t: the last position the tool reported, in seconds
    std::string ResultText;  // the run's result so far
};

// Convert scan: reads the duration and the position; returns the percent it
// computed (and stores it as ResultText), or -1 when the chunk gave none.
int ConvertScan(std::string_view chunk, int filesCount, int fileNumber, TScanState& state);

// Probe scan: collects duration and audio parameters, joined by "|||"
// (the duration is also kept as a number).
void ProbeScan(std::string_view chunk, TScanState& state);

// The part common to both runner classes. A runner serves one run: set its
// fields, call Start (which returns after the whole run), read ResultText.
class TToolRunner
{
public:
    explicit TToolRunner(TJobHost& host);
    virtual ~TToolRunner();
    TToolRunner(const TToolRunner&) = delete;
    TToolRunner& operator=(const TToolRunner&) = delete;

    // The complete command line as text, tool path first (what the log shows).
    std::string CommandLine;
    // The same command as the tool receives it, one entry per argument.
    TStringList Arguments;
    // N: the number of input files of the job; k: this file's 1-based position.
    int FilesCount = 0;
    int FileNumber = 0;
    // The run's result: the last percent, or the probe result text.
    std::string ResultText;

    // The tool's exit code when it ended on its own; -1 when it could not be
    // started, was stopped, or died from a signal.
    int ExitCode = -1;
    // Whether the run ended because the job was cancelled.
    bool Stopped = false;
    // Whether the tool was started at all.
    bool Started = false;
    // The tool's output lines, status lines left out (logged or not).
    TToolOutputLines Output;

    // The threads the tool may use, passed in its environment; 0 leaves the
    // environment as it is. The logged command line does not show it.
    int ThreadBudget = 0;
    // Where the logged chunks go; straight to the run log when unset.
    std::function<void(const std::string&)> LogLine;
    // Called when a chunk gave a percent; when unset, the percent goes to
    // the progress bar.
    std::function<void()> OnPercent;

    // Runs the tool once and returns when the run is over.
    void Start();

    // A run beside others: Launch starts the tool (a cancelled job or a tool
    // that cannot be started ends the run at once); each Step is one pass of
    // the read loop and never waits; true when it read or ended something.
    void Launch();
    bool Step();
    bool Finished() const { return m_phase == TPhase::Over; }
    // What the scans found so far: the duration and the position.
    const TScanState& Scan() const { return m_scan; }

    // Serves events until one of RUNS has output or ends, at most MS.
    static void WaitForAny(const std::vector<TToolRunner*>& runs, int ms);

protected:
    virtual void Execute() = 0;

    // The whole run: start, read loop, stop or wait for the end.
    void RunTool();
    virtual bool LogsChunks() const = 0;
    virtual void ScanChunk(std::string_view chunk) = 0;
    // The convert scan of a chunk, moving the progress bar when it gives a percent.
    void ScanForProgress(std::string_view chunk);

    TJobHost& m_host;
    TScanState m_scan;

private:
    enum class TPhase
    {
        Over,     // not started, or ended
        Reading,  // the tool runs, its output is read
        Stopping  // asked to end; killed once the grace time is over
    };

    void Log(const std::string& line);
    void BeginStop();
    void EndRun();

    TPhase m_phase = TPhase::Over;
    std::unique_ptr<QProcess> m_process;
    QElapsedTimer m_stopping;
};
