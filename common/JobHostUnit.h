#pragma once

// What a running job needs of the window it runs in: the stop flag, the
// progress bar, the run log and the chance to serve pending window events.
// The main window implements it; tests may use a plain one.

#include <cstdint>
#include <string>

class TJobHost
{
public:
    virtual ~TJobHost() = default;

    // StopProcess: set by Cancel, cleared by OK.
    virtual bool StopRequested() const = 0;
    // ProgressLine: a whole percentage, 0 to 100.
    virtual void SetProgress(int percent) = 0;
    // ProgressLine without a known total: a busy bar instead of a percentage.
    virtual void SetProgressBusy(bool busy) = 0;
    // DebugText: appends one line to the run log.
    virtual void AppendDebugLine(const std::string& line) = 0;
    // Serves every pending window event without waiting.
    virtual void ProcessMessages() = 0;

    // What the job works on now, shown beside the bar ("2 of 4: song.flac").
    virtual void SetProgressItem(const std::string& text) { (void)text; }
    // Seconds of media converted so far and in all (the files' lengths, some
    // perhaps estimated); the window tells the time left from them.
    virtual void SetWorkSeconds(double done, double total)
    {
        (void)done;
        (void)total;
    }
    // Bytes of a transfer so far and in all (-1 when unknown); the window
    // shows them with the speed.
    virtual void SetTransferredBytes(std::int64_t received, std::int64_t total)
    {
        (void)received;
        (void)total;
    }
};
