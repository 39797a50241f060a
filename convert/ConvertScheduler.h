#pragma once

// The tool runs of a conversion job, several at once. The job says which run
// comes next for each of its files (the audio job: a probe run, then a
// convert run; the video job: one convert run); the scheduler keeps up to
// its width of files in hand, starts them in list order, reads every run's
// output on the GUI thread without waiting on any one of them, keeps the log
// lines of each file's runs together, the files in list order (the log reads
// as a one-at-a-time job's), and moves the progress bar and the panel's
// texts for the whole job.

#include <memory>
#include <string>
#include <vector>

#include "common/StringFunctionsUnit.h"
#include "convert/ToolRunnerUnit.h"

class TJobHost;

// How many files a job of FILES files keeps in hand at once: VALUE (the
// environment's text, null when unset) when it is a whole number from 1,
// else PROCESSORS; never more than FILES, and at least 1.
int ConvertJobWidth(const char* value, int processors, int files);

// The threads one run may use when WIDTH runs share PROCESSORS: at least 1.
int RunThreadBudget(int processors, int width);

// "2 of 4: song.flac"; with several files in hand "3-4 of 8: maple.flac,
// birch.flac" (or "3, 5 of 8: ..." when the numbers have a gap). FILENUMBERS
// are 1-based, in list order; NAMES the files' names in the same order.
std::string ProgressItemText(const std::vector<int>& fileNumbers, int filesCount,
                             const TStringList& names);

// A run the job asks for.
struct TPlannedRun
{
    // null: the file is done.
    std::unique_ptr<TToolRunner> Runner;
    // Written to the run log just before the run starts, unless empty.
    std::string LogLine;
};

// The job's side: what to run for each file.
class TConvertFiles
{
public:
    virtual ~TConvertFiles() = default;
    // The next run of file FILE (0-based). PREVIOUS is the file's run that
    // has just ended, null before its first run.
    virtual TPlannedRun NextRun(int file, TToolRunner* previous) = 0;
};

class TConvertScheduler
{
public:
    // INPUTS are the job's input paths, in list order; WIDTH as ConvertJobWidth
    // gives it, PROCESSORS the count the threads are shared out from.
    TConvertScheduler(TJobHost& host, TConvertFiles& files, const TStringList& inputs, int width,
                      int processors);
    ~TConvertScheduler();
    TConvertScheduler(const TConvertScheduler&) = delete;
    TConvertScheduler& operator=(const TConvertScheduler&) = delete;

    // Runs every file to its end and returns after the last run has ended.
    void Run();

private:
    struct TFile
    {
        std::unique_ptr<TToolRunner> Runner;
        size_t LogPart = 0;
        int Duration = 0;        // seconds; 0 while unknown
        long long Position = 0;  // seconds of the running convert run
        int BarPart = 0;         // what the running file adds to the bar
        bool Done = false;
    };

    void StartFile(int file);
    // Starts the file's next run; false when the file is done.
    bool NextRun(int file);
    void RunEnded(int file);
    void FileDone(int file);
    void FileProgress(int file);
    void ShowItem();
    void ShowWork();

    // The run log one file after another: the lines of a file that is not
    // the oldest in hand are held until every file before it is done.
    size_t OpenLogPart();
    void AppendLog(size_t part, const std::string& line);
    void CloseLogPart(size_t part);

    TJobHost& m_host;
    TConvertFiles& m_files;
    TStringList m_names;
    int m_width;
    int m_processors;
    std::vector<TFile> m_state;
    std::vector<int> m_inHand;  // 0-based, in list order
    int m_next = 0;             // the next file to start
    int m_finished = 0;
    int m_shown = 0;

    struct TLogPart
    {
        TStringList Held;
        bool Closed = false;
    };
    std::vector<TLogPart> m_log;
    size_t m_logHead = 0;
};
