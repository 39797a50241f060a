#pragma once

// A job host without a window that only serves events: what a job costs on
// its own, for the benchmarks.

#include <string>

#include <QCoreApplication>

#include "common/JobHostUnit.h"

class TQuietHost : public TJobHost
{
public:
    bool StopRequested() const override { return false; }
    void SetProgress(int) override {}
    void SetProgressBusy(bool) override {}
    void AppendDebugLine(const std::string&) override {}
    void ProcessMessages() override { QCoreApplication::processEvents(); }
};
