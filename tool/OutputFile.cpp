#include "tool/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "base/EndWithParent.h"
#include "base/FilePaths.h"

namespace {

// The temporary file as the signal handler sees it: a fixed buffer and a flag,
// both written only with the termination signals blocked.
char g_tempPath[PATH_MAX + 1];
volatile sig_atomic_t g_tempActive = 0;

void OnTerminate(int sig)
{
    if (g_tempActive)
        ::unlink(g_tempPath);
    char text[64] = "Received signal ";
    std::size_t n = std::strlen(text);
    char digits[12];
    int d = 0;
    for (int v = sig; v > 0 && d < 11; v /= 10)
        digits[d++] = static_cast<char>('0' + v % 10);
    while (d > 0)
        text[n++] = digits[--d];
    const char tail[] = ": terminating.\r\n";
    std::memcpy(text + n, tail, sizeof tail - 1);
    n += sizeof tail - 1;
    [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, text, n);
    ::_exit(255);
}

class TSignalBlock
{
public:
    TSignalBlock()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &set, &m_old);
    }
    ~TSignalBlock() { ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }

private:
    sigset_t m_old;
};

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// At most max bytes, not cutting a UTF-8 sequence.
std::string Shortened(const std::string& text, std::size_t max)
{
    if (text.size() <= max)
        return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

void RemoveStaleParts(const std::string& folder, const std::string& prefix)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::size_t dash = name.find('-', prefix.size());
        if (dash == std::string::npos || dash == prefix.size())
            continue;
        const std::string digits = name.substr(prefix.size(), dash - prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9)
            continue;
        const pid_t owner = static_cast<pid_t>(std::stol(digits));
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), name.c_str(), 0);
    }
    ::closedir(dir);
}

}  // namespace

void InstallTerminationHandlers()
{
    const pid_t parent = ::getppid();
    struct sigaction action
    {
    };
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // The parent may have gone before the request took effect.
    if (!EndWithParent(SIGTERM, parent))
        OnTerminate(SIGTERM);
}

TOutputFile::~TOutputFile()
{
    Discard();
}

bool TOutputFile::Create(const std::string& path, bool overwrite, std::string& error)
{
    m_path = path;
    m_overwrite = overwrite;
    const std::string folder = FolderOf(path);
    struct stat st
    {
    };
    if (::stat(folder.c_str(), &st) != 0) {
        error = "Cannot write '" + path + "': the folder '" + folder +
                "' cannot be used: " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "Cannot write '" + path + "': '" + folder + "' is not a folder";
        return false;
    }
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = "Cannot write '" + path + "': a folder of that name exists";
            return false;
        }
        if (!overwrite) {
            error = "File '" + path + "' already exists; not overwritten without -y";
            return false;
        }
    }

    // The temporary name carries our process id, so that a later run can tell
    // the leftover of a killed run (SIGKILL cannot be caught) from a live one.
    const std::string prefix = "." + Shortened(ExtractFileNamePart(path), 120) + ".part-";
    RemoveStaleParts(folder, prefix);
    const std::string name = prefix + std::to_string(::getpid()) + "-XXXXXX";
    if (JoinFolderAndName(folder, name).size() > PATH_MAX) {
        error = "Cannot write '" + path + "': the path is too long";
        return false;
    }
    m_part.emplace(folder, name);
    bool created = false;
    {
        TSignalBlock block;
        created = m_part->Create();
        if (created) {
            const std::string& made = m_part->Path();
            std::memcpy(g_tempPath, made.c_str(), made.size() + 1);
            g_tempActive = 1;
        }
    }
    if (!created) {
        error = "Cannot write '" + path + "': " + std::strerror(m_part->ErrorNumber());
        m_part.reset();
        return false;
    }
    // The muxer opens the file by its name.
    m_part->Finish();
    m_tempPath = m_part->Path();
    return true;
}

bool TOutputFile::Commit(std::string& error)
{
    if (m_tempPath.empty()) {
        error = "Cannot write '" + m_path + "': nothing was written";
        return false;
    }
    const int fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        error = "Cannot write '" + m_path + "': " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);

    TSignalBlock block;
    // Without -y a file that appeared meanwhile is left alone.
    const bool named = m_overwrite ? m_part->ReplaceName(m_path)
                                   : m_part->TakeName(m_path) == TPartFile::TTake::Taken;
    if (!named) {
        error = "Cannot write '" + m_path + "': " + std::strerror(m_part->ErrorNumber());
        return false;
    }
    g_tempActive = 0;
    m_part.reset();
    m_tempPath.clear();
    return true;
}

void TOutputFile::Discard()
{
    if (m_tempPath.empty())
        return;
    TSignalBlock block;
    m_part.reset();  // removes the file
    g_tempActive = 0;
    m_tempPath.clear();
}
