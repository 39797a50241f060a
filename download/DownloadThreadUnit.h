#pragma once

// The download job: the typed page link goes to the resolving service, whose
// answer is the direct media link; that file is fetched into the destination
// folder under seven random digits + the extension its content calls for
// (".flv" when it cannot be told). Nothing stands under that name before the
// file is complete.
//
// TDownloadThread is the job's worker. All of its work runs on the GUI
// thread, inside the OK click, kept responsive by the HTTP client's event
// processing.

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "download/GetInetFileUnit.h"
#include "download/ResolverLauncher.h"

class TJobHost;

class TDownloadThread
{
public:
    explicit TDownloadThread(TJobHost& host);

    // The HTTP client in use; created before each use and destroyed after it.
    std::unique_ptr<TGetInetFile> InetFile;
    // The resolving-service request, set before Execute().
    std::string RequestUrl;
    // The service's base address and the secret it asks of every request
    // (empty: none), set before Execute().
    std::string ResolverBase;
    std::string ResolverKey;
    // The trimmed destination folder, set before Execute().
    std::string DestinationFolder;
    // The drawn file name (no folder): the saved file's name after a
    // download, the digits drawn + ".flv" when it failed, empty when no
    // download was started.
    std::string ResultFileName;
    // Whether the whole media file arrived under ResultFileName.
    bool Downloaded = false;
    // The service's answer, when it named a media link.
    std::string MediaLink;
    // Why nothing was saved, in plain words; empty after a success or Cancel.
    std::string FailureReason;

    // Runs DownloadWork; an error inside it ends the work silently, and the
    // job's own closing check reports the outcome.
    void Execute();
    void DownloadWork();

private:
    bool Resolve(std::string& answer);
    // Why the service answered "error", from what it said beside it; a
    // link that could not be reached is an Internet connection error.
    void ExplainErrorAnswer();
    void FetchMedia(std::mt19937& random);

    TJobHost& m_host;
    // The service's reason header beside its answer.
    std::string m_resolverReason;
};

// Tests fix the seed of the file-name draw; nullopt: a fresh one from the
// clock for every job.
void SetDownloadNameSeed(std::optional<uint64_t> seed);

// BASE + "/get-url/index/link/?link=" + the trimmed link, byte for byte.
std::string BuildResolverRequest(const std::string& base, const std::string& linkText);

// The whole job but the window's unlock: resolve, download, one DebugText
// line, the bar at 1, and the closing box unless the job was cancelled. The
// box's detail text names the saved file, or the link and why it failed.
void DownloadProcessJob(TJobHost& host, const std::string& linkText,
                        const std::string& destinationText,
                        const std::string& resolverBase = ResolverBaseAddress());
