#include "download/DownloadThreadUnit.h"

#include <QFileInfo>

#include <chrono>
#include <exception>
#include <random>

#include "base/PartFile.h"
#include "base/ResolverProtocol.h"
#include "common/JobHostUnit.h"
#include "common/StringFunctionsUnit.h"
#include "common/UserMessageUnit.h"
#include "common/WinSystemFunctionsUnit.h"
#include "download/MediaKindUnit.h"

namespace {

// Names drawn before giving up on a folder that holds them all.
constexpr int MaxNameDraws = 1000;

std::optional<uint64_t> g_NameSeed;

// The name's extension until the content has told what it is.
constexpr const char* UnknownExtension = ".flv";

// Seven digits, each uniform in 0..9.
std::string DrawDigits(std::mt19937& random)
{
    std::uniform_int_distribution<int> digit(0, 9);
    std::string digits;
    for (int i = 0; i < 7; ++i)
        digits += static_cast<char>('0' + digit(random));
    return digits;
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
    return address + ResolvePath + "?" + ResolveLinkKey + TrimString(linkText);
}

TDownloadThread::TDownloadThread(TJobHost& host) : m_host(host) {}

void TDownloadThread::Execute()
{
    try {
        DownloadWork();
    } catch (const std::exception& error) {
        InetFile.reset();
        Downloaded = false;
        FailureReason = error.what();
    } catch (...) {
        InetFile.reset();
        Downloaded = false;
        FailureReason = "an unexpected error";
    }
}

bool TDownloadThread::Resolve(std::string& answer)
{
    InetFile = std::make_unique<TGetInetFile>(m_host);
    InetFile->SetServiceKey(ResolverBase, ResolverKey);
    // The service may work on its answer up to its answer time-out.
    InetFile->SetAnswerWait(ResolverAnswerTimeoutMs + ResolverAnswerMarginMs);
    const bool fetched = InetFile->GetUrlText(RequestUrl, answer);
    const std::string reason = InetFile->FailureReason();
    m_resolverReason = InetFile->AnswerField(ResolverReasonHeader);
    InetFile.reset();
    if (!fetched) {
        FailureReason = reason.empty() ? "the resolving service gave an empty answer"
                                       : "the resolving service cannot be used: " + reason;
    }
    return fetched;
}

void TDownloadThread::DownloadWork()
{
    ResultFileName.clear();
    MediaLink.clear();
    FailureReason.clear();
    Downloaded = false;
    std::string answer;
    const bool fetched = Resolve(answer);
    m_host.ProcessMessages();
    if (m_host.StopRequested()) {
        FailureReason.clear();
        return;
    }
    if (!fetched)
        return;
    // A fresh seed for every job, from the high-resolution clock.
    const uint64_t ticks = g_NameSeed.value_or(static_cast<uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    std::seed_seq seed{static_cast<unsigned>(ticks), static_cast<unsigned>(ticks >> 32)};
    std::mt19937 random(seed);
    if (answer == RefusalAnswer) {
        ExplainErrorAnswer();
        return;
    }
    MediaLink = answer;
    FetchMedia(random);
}

void TDownloadThread::ExplainErrorAnswer()
{
    const std::optional<TResolverReasonValue> reason = ParseResolverReason(m_resolverReason);
    if (!reason) {
        FailureReason = "the resolving service answered \"error\" without saying why";
        return;
    }
    FailureReason = reason->Words.empty()
                        ? std::string("the resolving service answered \"error\" (") +
                              ResolverReasonEntry(reason->Reason).Code + ")"
                        : reason->Words;
    // The page or its media could not be reached: a dead link is a failed
    // connection, whoever tried it.
    if (IsUnreachableReason(reason->Reason))
        ShowUserMessage(TMessageKind::Warning, MsgInternetError);
}

void TDownloadThread::FetchMedia(std::mt19937& random)
{
    // The digits are drawn now; the extension follows from what arrives.
    std::string digits = DrawDigits(random);
    ResultFileName = digits + UnknownExtension;
    if (DestinationFolder.empty()) {
        FailureReason = "no destination folder is chosen";
        return;
    }
    // The body goes to a hidden file; no file stands under a drawn name
    // before the whole body is there.
    TPartFile part(DestinationFolder);
    if (!part.Create()) {
        FailureReason = part.Error();
        return;
    }
    m_host.SetProgressItem(MediaLink);
    InetFile = std::make_unique<TGetInetFile>(m_host);
    // A stream link of the service is fetched from the service itself.
    InetFile->SetServiceKey(ResolverBase, ResolverKey);
    const int64_t expectedSize = InetFile->GetUrlSize(MediaLink);
    const bool complete = InetFile->DownloadToFile(MediaLink, part, expectedSize);
    FailureReason = InetFile->FailureReason();
    InetFile.reset();
    if (!complete)
        return;

    // The name is taken in one step that never replaces a file; a name taken
    // meanwhile is drawn again.
    const std::string extension = MediaExtensionOfFile(part.Path());
    bool first = true;
    const auto drawName = [&] {
        if (!first)
            digits = DrawDigits(random);
        first = false;
        return digits + extension;
    };
    std::string taken;
    if (!part.TakeFreeName(drawName, MaxNameDraws, taken)) {
        FailureReason = part.Error();
        return;
    }
    ResultFileName = taken;
    Downloaded = true;
}

// The failure box's detail: the typed link, the media link when there was
// one, and the reason, one line each.
static std::string DownloadFailureDetail(const std::string& linkText, const TDownloadThread& worker)
{
    std::string detail = "Link: " + TrimString(linkText) + "\n";
    if (!worker.MediaLink.empty())
        detail += "Media link: " + worker.MediaLink + "\n";
    return detail + "Reason: " +
           (worker.FailureReason.empty() ? "the file did not arrive" : worker.FailureReason);
}

void DownloadProcessJob(TJobHost& host, const std::string& linkText,
                        const std::string& destinationText, const std::string& resolverBase)
{
    TDownloadThread worker(host);
    worker.RequestUrl = BuildResolverRequest(resolverBase, linkText);
    worker.ResolverBase = resolverBase;
    worker.ResolverKey = ResolverKeyFor(resolverBase);
    worker.DestinationFolder = TrimString(destinationText);
    host.SetProgressItem(TrimString(linkText));
    worker.Execute();
    // Without a service (the program's own could not be started) the request
    // failed like one to an unreachable service; the details say why.
    if (!worker.Downloaded && resolverBase.empty() && !ResolverStartFailure().empty())
        worker.FailureReason = ResolverStartFailure();
    const std::string resultName = worker.ResultFileName;
    host.AppendDebugLine(resultName);
    host.SetProgress(1);
    if (host.StopRequested())
        return;
    const std::string folder = TrimString(destinationText);
    const std::string name = TrimString(resultName);
    const std::string saved = JoinFolderAndName(folder, name);
    const bool success = worker.Downloaded && !folder.empty() && !name.empty() &&
                         QFileInfo::exists(QString::fromUtf8(saved));
    if (success)
        ShowUserMessage(TMessageKind::Information, MsgDownloaded, "Saved as " + saved);
    else
        ShowUserMessage(TMessageKind::Warning, MsgCannotCreate,
                        DownloadFailureDetail(linkText, worker));
}
