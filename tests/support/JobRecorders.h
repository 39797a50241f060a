#pragma once

// A job host without a window that records what a job did to it, and a
// recorder for the message boxes a job shows.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QStringList>

#include "common/JobHostUnit.h"
#include "common/StringFunctionsUnit.h"
#include "common/UserMessageUnit.h"

class TRecordingHost : public TJobHost
{
public:
    bool Stop = false;
    std::vector<int> Progress;
    std::vector<bool> Busy;
    std::vector<std::string> Items;
    std::vector<std::pair<std::int64_t, std::int64_t>> Transferred;
    std::vector<std::pair<double, double>> Work;  // media seconds done, in all
    TStringList Log;
    // Called after every log line (a test may set Stop from here).
    std::function<void(TRecordingHost&)> OnLogLine;
    // Called after every progress step (a test presses Cancel from here).
    std::function<void(TRecordingHost&)> OnProgress;

    bool StopRequested() const override { return Stop; }
    void SetProgress(int percent) override
    {
        Progress.push_back(percent);
        if (OnProgress)
            OnProgress(*this);
    }
    void SetProgressBusy(bool busy) override { Busy.push_back(busy); }
    void SetProgressItem(const std::string& text) override { Items.push_back(text); }
    void SetWorkSeconds(double done, double total) override { Work.emplace_back(done, total); }
    void SetTransferredBytes(std::int64_t received, std::int64_t total) override
    {
        Transferred.emplace_back(received, total);
    }
    void AppendDebugLine(const std::string& line) override
    {
        Log.push_back(line);
        if (OnLogLine)
            OnLogLine(*this);
    }
    void ProcessMessages() override { QCoreApplication::processEvents(); }

    int LinesStartingWith(const std::string& prefix) const
    {
        int count = 0;
        for (const std::string& line : Log)
            count += line.rfind(prefix, 0) == 0 ? 1 : 0;
        return count;
    }
};

// Collects every message box while it lives; none is shown.
class TMessageRecorder
{
public:
    struct TMessage
    {
        TMessageKind Kind;
        std::string Title;
        std::string Text;
        std::string Detail;
    };

    TMessageRecorder()
    {
        SetUserMessageHandler([this](TMessageKind kind, const std::string& title,
                                     const std::string& text, const std::string& detail) {
            Messages.push_back({kind, title, text, detail});
        });
    }
    ~TMessageRecorder() { SetUserMessageHandler({}); }
    TMessageRecorder(const TMessageRecorder&) = delete;
    TMessageRecorder& operator=(const TMessageRecorder&) = delete;

    QStringList Texts() const
    {
        QStringList texts;
        for (const TMessage& m : Messages)
            texts << QString::fromStdString(m.Text);
        return texts;
    }

    std::vector<TMessage> Messages;
};
