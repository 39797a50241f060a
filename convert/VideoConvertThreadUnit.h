#pragma once

// The runner of the video job: convert runs only, driving the progress bar;
// the tool's output is read but not logged.

#include "convert/ToolRunnerUnit.h"

class TVideoConvertThread : public TToolRunner
{
public:
    using TToolRunner::TToolRunner;

    void RunProcess();

protected:
    void Execute() override;
    bool LogsChunks() const override { return false; }
    void ScanChunk(std::string_view chunk) override;
};
