#pragma once

// What the download tests share: a job host that records what the job did
// to the window, and a recorder for the message boxes.

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "common/JobHostUnit.h"
#include "common/UserMessageUnit.h"

class TRecordingHost : public TJobHost
{
public:
    bool Stop = false;
    std::vector<int> Progress;
    std::vector<bool> Busy;
    std::vector<std::string> DebugLines;
    // Runs after every SetProgress (a test presses Cancel from here).
    std::function<void(int percent)> OnProgress;

    bool StopRequested() const override { return Stop; }
    void SetProgress(int percent) override
    {
        Progress.push_back(percent);
        if (OnProgress)
            OnProgress(percent);
    }
    void SetProgressBusy(bool busy) override { Busy.push_back(busy); }
    void AppendDebugLine(const std::string& line) override { DebugLines.push_back(line); }
    void ProcessMessages() override { QCoreApplication::processEvents(); }
};

struct TBox
{
    TMessageKind Kind;
    std::string Text;
};

// Collects every message box while it lives; none is shown.
class TBoxRecorder
{
public:
    TBoxRecorder()
    {
        SetUserMessageHandler(
            [this](TMessageKind kind, const std::string&, const std::string& text) {
                Boxes.push_back({kind, text});
            });
    }
    ~TBoxRecorder() { SetUserMessageHandler({}); }
    TBoxRecorder(const TBoxRecorder&) = delete;
    TBoxRecorder& operator=(const TBoxRecorder&) = delete;

    QStringList Texts() const
    {
        QStringList texts;
        for (const TBox& box : Boxes)
            texts << QString::fromStdString(box.Text);
        return texts;
    }

    std::vector<TBox> Boxes;
};

// Every entry of a folder, hidden ones (a left-over temporary file) included.
inline QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}
