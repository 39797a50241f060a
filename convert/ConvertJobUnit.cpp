#include "convert/ConvertJobUnit.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>
#include <vector>

#include <QThread>

#include "base/ToolEnvironment.h"
#include "base/ToolFileName.h"
#include "common/JobHostUnit.h"
#include "common/UserMessageUnit.h"
#include "common/WinSystemFunctionsUnit.h"
#include "convert/AudioConvertThreadUnit.h"
#include "convert/ConvertScheduler.h"
#include "convert/JobReportUnit.h"
#include "convert/VideoConvertThreadUnit.h"
#include "settings/SettingsTable.h"
#include "settings/TranslateFormUnit.h"

namespace {

// Anything at all by that name, a dangling link included.
bool IsPresent(const std::string& path)
{
    std::error_code error;
    return std::filesystem::symlink_status(std::filesystem::path(path), error).type() !=
           std::filesystem::file_type::not_found;
}

// One spelling for every path that names the same place: "//", "./" and
// linked folders resolved as far as they exist.
std::string PlaceKey(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path place = std::filesystem::weakly_canonical(path, error);
    if (error)
        return std::filesystem::path(path).lexically_normal().string();
    return place.string();
}

bool IsWrittenFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

}  // namespace

std::string DestinationFolderPath(std::string_view folder)
{
    std::string path = TrimString(folder);
    if (path.empty() || path.back() != PathDelimiter)
        path += PathDelimiter;
    return path;
}

std::string OutputFileName(const std::string& inputPath)
{
    return ReplaceString(".", "_", ExtractFileNamePart(inputPath));
}

std::string OutputFilePath(const std::string& folder, const std::string& name,
                           std::string_view extension,
                           const std::function<bool(const std::string&)>& taken,
                           const std::function<bool(const std::string&)>& exists)
{
    std::string suffix(1, '.');
    suffix += AsciiLowerCase(extension);
    std::string path = folder + name + suffix;
    // The name the user asked for is replaced when it is there already; a
    // numbered copy never replaces anything.
    for (int copy = 2; (taken && taken(path)) || (copy > 2 && exists && exists(path)); ++copy)
        path = folder + name + " (" + std::to_string(copy) + ")" + suffix;
    return path;
}

std::string ToolPath()
{
    try {
        return GetTempDirectory() + ToolFileName;
    } catch (const TSystemError&) {
        return std::string();
    }
}

namespace {

// What a job needs of the page, looked up in the settings table.
struct TJobPlan
{
    bool Audio = false;
    TStringList InputFiles;
    std::string DestinationFolder;
    TStringList Settings;  // arguments in command order, the format's last
    std::string Extension;
    bool FormatChosen = false;
    std::string FormatName;  // "MP3", "WAV", ...: how the details name the format
    TBitRateSource BitRate = TBitRateSource::Other;
};

// Whose audio bit rate the settings' arguments ARGUMENTS ask for: a value the
// user chose ("-ab 128k"), the input's ("-ab [AKBIT]k") or none ("-sameq").
TBitRateSource BitRateSource(const std::string& arguments)
{
    if (!arguments.starts_with("-ab "))
        return TBitRateSource::Other;
    return arguments.find('[') == std::string::npos ? TBitRateSource::Chosen
                                                    : TBitRateSource::Input;
}

void AddSettings(TJobPlan& plan, const TTranslateForm& lookup, const char* list,
                 const std::string& item)
{
    plan.Settings.emplace_back(SettingsCell(lookup.FindSettingsRow(list, item), 2));
}

void SetFormat(TJobPlan& plan, const TTranslateForm& lookup, const char* list,
               const std::string& item)
{
    const int row = lookup.FindSettingsRow(list, item);
    plan.Settings.emplace_back(SettingsCell(row, 2));
    plan.Extension = SettingsCell(row, 3);
    plan.FormatName = FormatShortName(item);
    plan.FormatChosen = row >= 0 && plan.Settings.back() != "ERROR";
}

// One run of RUNNER with COMMAND as file K of N; the runner is made for the
// run and dropped after it.
template <typename TRunner>
std::unique_ptr<TRunner> MakeRunner(TJobHost& host, const TToolCommand& command, int filesCount,
                                    int fileNumber)
{
    auto runner = std::make_unique<TRunner>(host);
    runner->CommandLine = command.CommandLine();
    runner->Arguments = command.Arguments();
    runner->FilesCount = filesCount;
    runner->FileNumber = fileNumber;
    return runner;
}

// The run ended on its own with exit status 0 and left its output behind.
bool Converted(const TToolRunner& runner, const std::string& output)
{
    return !runner.Stopped && runner.ExitCode == 0 && IsWrittenFile(output);
}

// Why a run that was not cancelled gave no OUTPUT: the tool's own line when it
// wrote one, else what the program saw.
std::string FailureText(const TToolRunner& runner, const std::string& output)
{
    if (!runner.Started)
        return "the conversion tool could not be started";
    if (runner.ExitCode < 0)
        return "the conversion tool ended abnormally";
    if (runner.ExitCode == 0)
        return "the conversion tool wrote no file '" + output + "'";
    const std::string reason = FailureReason(runner.Output.Lines());
    if (!reason.empty())
        return reason;
    return "the conversion tool failed with exit code " + std::to_string(runner.ExitCode);
}

// The files of one job and what their runs gave: the audio job's files have a
// probe run and then a convert run, the video job's a convert run.
class TJobFiles : public TConvertFiles
{
public:
    TJobFiles(const TJobPlan& plan, TJobHost& host) : m_plan(plan), m_host(host)
    {
        // Every output name is fixed, in list order, before anything runs, so
        // that a job writes the same files whatever finishes first. No output
        // may go to one of the job's own inputs (converting one file must
        // never destroy another, or one the user chose as a source), nor to
        // the name an earlier file of the job got.
        std::set<std::string> taken;
        for (const std::string& input : plan.InputFiles)
            taken.insert(PlaceKey(input));
        const auto isTaken = [&taken](const std::string& path) {
            return taken.count(PlaceKey(path)) != 0;
        };
        const std::string folder = DestinationFolderPath(plan.DestinationFolder);
        for (const std::string& input : plan.InputFiles) {
            TFile file;
            file.Output =
                OutputFilePath(folder, OutputFileName(input), plan.Extension, isTaken, IsPresent);
            taken.insert(PlaceKey(file.Output));
            m_files.push_back(std::move(file));
        }
    }

    TPlannedRun NextRun(int index, TToolRunner* previous) override
    {
        TFile& file = m_files[static_cast<size_t>(index)];
        const std::string& input = m_plan.InputFiles[static_cast<size_t>(index)];
        const int filesCount = static_cast<int>(m_files.size());
        TPlannedRun next;
        if (previous == nullptr) {
            const std::string tool = ToolPath();
            file.Command = TToolCommand::Convert(tool, input, m_plan.Settings, file.Output);
            if (m_plan.Audio) {
                auto probe = MakeRunner<TAudioConvertThread>(
                    m_host, TToolCommand::Probe(tool, input), filesCount, index + 1);
                probe->ConvertMode = false;
                file.Probing = true;
                next.Runner = std::move(probe);
            } else {
                next.LogLine = file.Command.CommandLine();
                next.Runner =
                    MakeRunner<TVideoConvertThread>(m_host, file.Command, filesCount, index + 1);
            }
            return next;
        }
        if (file.Probing) {
            file.Probing = false;
            ApplyProbeResult(file.Command, previous->ResultText, m_plan.Extension);
            next.LogLine = "RUN: " + file.Command.CommandLine();
            auto convert =
                MakeRunner<TAudioConvertThread>(m_host, file.Command, filesCount, index + 1);
            convert->ConvertMode = true;
            next.Runner = std::move(convert);
            return next;
        }
        file.Converted = Converted(*previous, file.Output);
        if (!file.Converted && !previous->Stopped)
            file.Failure = FailureText(*previous, file.Output);
        file.Notes = SettingNotes(previous->Output.Lines());
        return next;
    }

    int ConvertedCount() const
    {
        return static_cast<int>(std::count_if(m_files.begin(), m_files.end(),
                                              [](const TFile& f) { return f.Converted; }));
    }

    // The closing box's details, the files in list order.
    std::string DetailText() const
    {
        TJobReport report;
        report.SetWording(m_plan.FormatName, m_plan.BitRate);
        for (size_t i = 0; i < m_files.size(); ++i) {
            if (!m_files[i].Failure.empty())
                report.AddFailure(m_plan.InputFiles[i], m_files[i].Failure);
            report.AddNotes(m_plan.InputFiles[i], m_files[i].Notes);
        }
        return report.DetailText();
    }

private:
    struct TFile
    {
        std::string Output;
        TToolCommand Command;
        bool Probing = false;
        bool Converted = false;
        std::string Failure;
        TStringList Notes;
    };

    const TJobPlan& m_plan;
    TJobHost& m_host;
    std::vector<TFile> m_files;
};

int RunJob(const TJobPlan& plan, TJobHost& host)
{
    const int filesCount = static_cast<int>(plan.InputFiles.size());
    TJobFiles files(plan, host);
    if (plan.FormatChosen) {
        const int processors = QThread::idealThreadCount();
        const int width = ConvertJobWidth(std::getenv(ToolJobsVariable), processors, filesCount);
        TConvertScheduler scheduler(host, files, plan.InputFiles, width, processors);
        scheduler.Run();
    }
    const int converted = files.ConvertedCount();

    if (!host.StopRequested()) {
        if (converted == filesCount && plan.FormatChosen)
            ShowUserMessage(TMessageKind::Information,
                            plan.Audio ? MsgAudioConverted : MsgVideoConverted, files.DetailText());
        else
            ShowUserMessage(TMessageKind::Warning, MsgCannotCreate, files.DetailText());
    }
    return converted;
}

}  // namespace

int RunAudioJob(const TAudioJobInput& input, TJobHost& host)
{
    const TTranslateForm lookup;
    TJobPlan plan;
    plan.Audio = true;
    plan.InputFiles = input.InputFiles;
    plan.DestinationFolder = input.DestinationFolder;
    AddSettings(plan, lookup, "AudioFrequenciesList", input.Frequency);
    AddSettings(plan, lookup, "AudioBitrateList", input.Bitrate);
    plan.BitRate = BitRateSource(plan.Settings.back());
    AddSettings(plan, lookup, "AudioChannelsModeList", input.Channels);
    SetFormat(plan, lookup, "AudioFormatsForOutput", input.Format);
    return RunJob(plan, host);
}

int RunVideoJob(const TVideoJobInput& input, TJobHost& host)
{
    const TTranslateForm lookup;
    TJobPlan plan;
    plan.InputFiles = input.InputFiles;
    plan.DestinationFolder = input.DestinationFolder;
    AddSettings(plan, lookup, "VideoAudioBitrateList", input.AudioBitrate);
    plan.BitRate = BitRateSource(plan.Settings.back());
    AddSettings(plan, lookup, "VideoVideoBitrateList", input.VideoBitrate);
    AddSettings(plan, lookup, "VideoResolutionList", input.Resolution);
    AddSettings(plan, lookup, "VideoChannelsModeList", input.Channels);
    SetFormat(plan, lookup, "VideoFormatsForOutput", input.Format);
    return RunJob(plan, host);
}
