#pragma once

// The runner of the audio job: a probe run collects the input's duration and
// audio parameters, a convert run drives the progress bar. Every chunk of the
// tool's output goes to the run log.

#include "convert/ToolRunnerUnit.h"

class TAudioConvertThread : public TToolRunner
{
public:
    using TToolRunner::TToolRunner;

    // false: probe run; true: convert run.
    bool ConvertMode = false;

    void RunProcess();

protected:
    void Execute() override;
    bool LogsChunks() const override { return true; }
    void ScanChunk(std::string_view chunk) override;
};
