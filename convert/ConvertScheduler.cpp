#include "convert/ConvertScheduler.h"

#include <algorithm>

#include "base/ToolEnvironment.h"
#include "common/JobHostUnit.h"
#include "common/WinSystemFunctionsUnit.h"

int ConvertJobWidth(const char* value, int processors, int files)
{
    const int asked = EnvironmentCount(value);
    const int width = asked > 0 ? asked : std::max(processors, 1);
    return std::max(std::min(width, files), 1);
}

int RunThreadBudget(int processors, int width)
{
    return std::max(processors / std::max(width, 1), 1);
}

std::string ProgressItemText(const std::vector<int>& fileNumbers, int filesCount,
                             const TStringList& names)
{
    std::string numbers;
    bool contiguous = true;
    for (size_t i = 0; i < fileNumbers.size(); ++i)
        contiguous = contiguous && fileNumbers[i] == fileNumbers.front() + static_cast<int>(i);
    if (fileNumbers.size() > 1 && contiguous) {
        numbers = std::to_string(fileNumbers.front()) + "-" + std::to_string(fileNumbers.back());
    } else {
        for (size_t i = 0; i < fileNumbers.size(); ++i)
            numbers += (i ? ", " : "") + std::to_string(fileNumbers[i]);
    }
    std::string text = numbers + " of " + std::to_string(filesCount) + ": ";
    for (size_t i = 0; i < names.size(); ++i)
        text += (i ? ", " : "") + names[i];
    return text;
}

TConvertScheduler::TConvertScheduler(TJobHost& host, TConvertFiles& files,
                                     const TStringList& inputs, int width, int processors)
    : m_host(host),
      m_files(files),
      m_width(std::max(width, 1)),
      m_processors(processors),
      m_state(inputs.size())
{
    for (const std::string& input : inputs)
        m_names.push_back(ExtractFileNamePart(input));
}

TConvertScheduler::~TConvertScheduler() = default;

void TConvertScheduler::Run()
{
    const int count = static_cast<int>(m_state.size());
    while (m_next < count || !m_inHand.empty()) {
        while (static_cast<int>(m_inHand.size()) < m_width && m_next < count)
            StartFile(m_next++);
        bool busy = false;
        std::vector<TToolRunner*> running;
        // One pass over every run in hand, oldest first; a run that ends
        // makes way for its file's next run or for the next file.
        for (const int file : std::vector<int>(m_inHand)) {
            TToolRunner& run = *m_state[static_cast<size_t>(file)].Runner;
            busy = run.Step() || busy;
            if (run.Finished())
                RunEnded(file);
            else
                running.push_back(&run);
        }
        if (!busy && !running.empty())
            TToolRunner::WaitForAny(running, ToolPollInterval);
        m_host.ProcessMessages();
    }
}

void TConvertScheduler::StartFile(int file)
{
    m_host.ProcessMessages();
    m_inHand.push_back(file);
    m_state[static_cast<size_t>(file)].LogPart = OpenLogPart();
    ShowItem();
    if (!NextRun(file))
        FileDone(file);
}

bool TConvertScheduler::NextRun(int file)
{
    TFile& state = m_state[static_cast<size_t>(file)];
    for (;;) {
        TPlannedRun plan = m_files.NextRun(file, state.Runner.get());
        state.Runner = std::move(plan.Runner);
        if (!state.Runner)
            return false;
        const size_t part = state.LogPart;
        if (!plan.LogLine.empty())
            AppendLog(part, plan.LogLine);
        TToolRunner& run = *state.Runner;
        // The processors are shared among the runs going at once: the width,
        // or the files still to do at the end of the job.
        const int going = std::min(m_width, static_cast<int>(m_state.size()) - m_finished);
        run.ThreadBudget = RunThreadBudget(m_processors, going);
        run.LogLine = [this, part](const std::string& line) { AppendLog(part, line); };
        run.OnPercent = [this, file] { FileProgress(file); };
        run.Launch();
        if (!run.Finished())
            return true;
        // Cancelled, or the tool could not be started: on to the next run.
    }
}

void TConvertScheduler::RunEnded(int file)
{
    TFile& state = m_state[static_cast<size_t>(file)];
    // The probe, or the tool's own first lines, told the file's length.
    if (state.Runner->Scan().Duration > 0)
        state.Duration = state.Runner->Scan().Duration;
    if (!NextRun(file))
        FileDone(file);
}

void TConvertScheduler::FileDone(int file)
{
    TFile& state = m_state[static_cast<size_t>(file)];
    state.Done = true;
    state.BarPart = 0;
    ++m_finished;
    CloseLogPart(state.LogPart);
    m_inHand.erase(std::find(m_inHand.begin(), m_inHand.end(), file));
    // The next file, when there is one, is announced as it starts.
    if (m_next >= static_cast<int>(m_state.size()) && !m_inHand.empty())
        ShowItem();
    ShowWork();
}

void TConvertScheduler::FileProgress(int file)
{
    TFile& state = m_state[static_cast<size_t>(file)];
    const TScanState& scan = state.Runner->Scan();
    const int filesCount = static_cast<int>(m_state.size());
    state.Duration = scan.Duration;
    state.Position = scan.Position;
    // Each file adds its share times its own percent; an ended one, failed
    // or not, its full share. With one file in hand this is the share of
    // the files before it plus the running file's part, as ComputePercent
    // counts it.
    state.BarPart = ComputePercent(filesCount, 1, scan.Position, scan.Duration);
    int percent = FileShare(filesCount) * m_finished;
    for (const int f : m_inHand)
        percent += m_state[static_cast<size_t>(f)].BarPart;
    m_shown = std::max(m_shown, std::min(percent, 100));
    m_host.SetProgress(m_shown);
    ShowWork();
}

void TConvertScheduler::ShowItem()
{
    std::vector<int> numbers;
    TStringList names;
    for (const int file : m_inHand) {
        numbers.push_back(file + 1);
        names.push_back(m_names[static_cast<size_t>(file)]);
    }
    m_host.SetProgressItem(ProgressItemText(numbers, static_cast<int>(m_state.size()), names));
}

void TConvertScheduler::ShowWork()
{
    // Files whose length is not known yet count as long as the known ones
    // are on average.
    double known = 0;
    int knownCount = 0;
    for (const TFile& state : m_state) {
        if (state.Duration > 0) {
            known += state.Duration;
            ++knownCount;
        }
    }
    if (knownCount == 0)
        return;
    const double average = known / knownCount;
    double total = 0;
    double done = 0;
    for (const TFile& state : m_state) {
        const double length = state.Duration > 0 ? state.Duration : average;
        total += length;
        if (state.Done)
            done += length;
        else if (state.Runner)
            done += std::min(static_cast<double>(state.Position), length);
    }
    m_host.SetWorkSeconds(done, total);
}

size_t TConvertScheduler::OpenLogPart()
{
    m_log.emplace_back();
    return m_log.size() - 1;
}

void TConvertScheduler::AppendLog(size_t part, const std::string& line)
{
    if (part == m_logHead)
        m_host.AppendDebugLine(line);
    else
        m_log[part].Held.push_back(line);
}

void TConvertScheduler::CloseLogPart(size_t part)
{
    m_log[part].Closed = true;
    while (m_logHead < m_log.size() && m_log[m_logHead].Closed) {
        ++m_logHead;
        if (m_logHead == m_log.size())
            break;
        for (const std::string& line : m_log[m_logHead].Held)
            m_host.AppendDebugLine(line);
        m_log[m_logHead].Held = TStringList();
    }
}
