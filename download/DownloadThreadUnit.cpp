#include "download/DownloadThreadUnit.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <random>

#include "common/JobHostUnit.h"
#include "common/StringFunctionsUnit.h"
#include "common/UserMessageUnit.h"
#include "common/WinSystemFunctionsUnit.h"

namespace {

constexpr const char* ResolverPath = "/get-url/index/link/?link=";
// Names drawn before giving up on a folder that holds them all.
constexpr int MaxNameDraws = 1000;

std::optional<uint64_t> g_NameSeed;

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == PathDelimiter)
        return folder + name;
    return folder + PathDelimiter + name;
}

// Seven digits, each uniform in 0..9, then ".flv".
std::string DrawFileName(std::mt19937& random)
{
    std::uniform_int_distribution<int> digit(0, 9);
    std::string name;
    for (int i = 0; i < 7; ++i)
        name += static_cast<char>('0' + digit(random));
    return name + ".flv";
}

}  // namespace

void SetDownloadNameSeed(std::optional<uint64_t> seed)
{
    g_NameSeed = seed;
}

std::string BuildResolverRequest(const std::string& base, const std::string& linkText)
{
    std::string address = base;
    if (!address.empty() && address.back() == '/')
        address.pop_back();
    return address + ResolverPath + TrimString(linkText);
}

TDownloadThread::TDownloadThread(TJobHost& host) : m_host(host) {}

void TDownloadThread::Execute()
{
    try {
        DownloadWork();
    } catch (...) {
        InetFile.reset();
        Downloaded = false;
    }
}

void TDownloadThread::DownloadWork()
{
    std::string answer;
    InetFile = std::make_unique<TGetInetFile>(m_host);
    const bool fetched = InetFile->GetUrlText(RequestUrl, answer);
    InetFile.reset();
    m_host.ProcessMessages();
    ResultFileName.clear();
    Downloaded = false;
    if (m_host.StopRequested() || !fetched)
        return;
    // A fresh seed for every job, from the high-resolution clock.
    const uint64_t ticks = g_NameSeed.value_or(static_cast<uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    std::seed_seq seed{static_cast<unsigned>(ticks), static_cast<unsigned>(ticks >> 32)};
    std::mt19937 random(seed);
    if (answer == "error" || answer.empty())
        return;
    const std::string mediaLink = answer;
    ResultFileName = DrawFileName(random);
    if (DestinationFolder.empty())
        return;

    // The drawn name never replaces a file: it is taken by creating the file
    // exclusively, and drawn again while a file of that name exists.
    std::string target = JoinPath(DestinationFolder, ResultFileName);
    bool reserved = false;
    for (int draw = 0; draw < MaxNameDraws; ++draw) {
        QFile placeholder(QString::fromUtf8(target));
        if (placeholder.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            reserved = true;
            break;
        }
        if (!placeholder.exists())
            break;  // the folder is missing or not writable
        ResultFileName = DrawFileName(random);
        target = JoinPath(DestinationFolder, ResultFileName);
    }
    if (!reserved)
        return;

    InetFile = std::make_unique<TGetInetFile>(m_host);
    const int64_t expectedSize = InetFile->GetUrlSize(mediaLink);
    Downloaded = InetFile->DownloadToFile(mediaLink, target, expectedSize);
    InetFile.reset();
    if (!Downloaded)
        QFile::remove(QString::fromUtf8(target));  // the empty placeholder
}

void DownloadProcessJob(TJobHost& host, const std::string& linkText,
                        const std::string& destinationText, const std::string& resolverBase)
{
    TDownloadThread worker(host);
    worker.RequestUrl = BuildResolverRequest(resolverBase, linkText);
    worker.DestinationFolder = TrimString(destinationText);
    worker.Execute();
    const std::string resultName = worker.ResultFileName;
    const bool downloaded = worker.Downloaded;
    host.AppendDebugLine(resultName);
    host.SetProgress(1);
    if (host.StopRequested())
        return;
    const std::string folder = TrimString(destinationText);
    const std::string name = TrimString(resultName);
    const bool success = downloaded && !folder.empty() && !name.empty() &&
                         QFileInfo::exists(QString::fromUtf8(JoinPath(folder, name)));
    if (success)
        ShowUserMessage(TMessageKind::Information, MsgDownloaded);
    else
        ShowUserMessage(TMessageKind::Warning, MsgCannotCreate);
}
