// The status lines of a running conversion (at most one every 0.5 s) and the
// last status line with the summary, from the pipelines' figures.
#pragma once

#include <chrono>
#include <vector>

#include "tool/StreamPipeline.h"

// One stream's figures as the report reads them: a copy taken once its
// packets were written, so that a stream's own thread may go on meanwhile.
struct TStreamProgress
{
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
    TStreamFigures Figures;
};

class TProgressReport
{
public:
    // The clock of the frame rate starts now.
    TProgressReport();

    // Whether a status line is due; the last one always is.
    bool Due(bool last);
    // The status line; the last one with the summary. sizeBytes is what the
    // file holds so far; headerBytes the encoders' global headers.
    void Print(const std::vector<TStreamProgress>& streams, bool last, double sizeBytes,
               double headerBytes) const;

private:
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastReport;
};
