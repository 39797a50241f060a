#include "common/WinSystemFunctionsUnit.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <vector>

#include "common/StringFunctionsUnit.h"

namespace {

std::string WithDelimiter(std::string dir)
{
    if (dir.empty() || dir.back() != PathDelimiter)
        dir += PathDelimiter;
    return dir;
}

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return (value && *value) ? std::string(value) : fallback;
}

bool IsNoExec(const std::string& dir)
{
    struct statvfs fs
    {
    };
    return statvfs(dir.c_str(), &fs) == 0 && (fs.f_flag & ST_NOEXEC) != 0;
}

// A directory is private when it is a real directory (not a link), belongs to
// us and nobody else may enter or write it.
std::optional<std::string> WhyNotPrivate(const std::string& dir)
{
    struct stat st
    {
    };
    if (lstat(dir.c_str(), &st) != 0)
        return "cannot be examined: " + std::string(std::strerror(errno));
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "is not a directory";
    if (st.st_uid != getuid())
        return "belongs to another user";
    if ((st.st_mode & 0077) != 0)
        return "is open to other users";
    return std::nullopt;
}

// A folder that everybody may write without the sticky bit lets anybody
// rename or replace what lies in it, our private folder too. Returns the
// first such folder on the way to DIR (links resolved), DIR itself included.
std::optional<std::string> OpenToEverybodyOnTheWay(const std::string& dir)
{
    char* resolved = realpath(dir.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;  // creating or examining it reports the reason
    const std::string real(resolved);
    std::free(resolved);
    // "/", then "/a", "/a/b", ... up to the folder itself.
    std::vector<std::string> steps{std::string(1, PathDelimiter)};
    for (size_t p = real.find(PathDelimiter, 1);; p = real.find(PathDelimiter, p + 1)) {
        steps.push_back(real.substr(0, p));
        if (p == std::string::npos)
            break;
    }
    for (const std::string& step : steps) {
        struct stat st
        {
        };
        if (stat(step.c_str(), &st) == 0 && (st.st_mode & S_IWOTH) != 0 &&
            (st.st_mode & S_ISVTX) == 0)
            return step;
    }
    return std::nullopt;
}

void RefuseOpenToEverybody(const std::string& dir)
{
    if (auto open = OpenToEverybodyOnTheWay(dir)) {
        throw TSystemError("The directory \"" + *open +
                           "\" is not safe to use: it is writable by all users and lacks the "
                           "sticky bit.");
    }
}

// Creates DIR (and, when asked, its missing parents) with mode 0700.
void MakePrivateDirectory(const std::string& dir, bool withParents)
{
    if (withParents) {
        for (size_t p = dir.find(PathDelimiter, 1); p != std::string::npos;
             p = dir.find(PathDelimiter, p + 1)) {
            std::string parent = dir.substr(0, p);
            if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST)
                break;  // the final mkdir reports the real reason
        }
    }
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        throw TSystemError("Cannot create the directory \"" + dir + "\": " + std::strerror(errno));
    }
}

std::string CheckedPrivateDirectory(const std::string& dir)
{
    if (auto why = WhyNotPrivate(dir))
        throw TSystemError("The directory \"" + dir + "\" is not safe to use: it " + *why + ".");
    return dir;
}

}  // namespace

std::string GetTempDirectory()
{
    const std::string uid = std::to_string(getuid());

    // 1. The session's runtime directory, when it is really ours.
    const std::string runtime = EnvOr("XDG_RUNTIME_DIR", "");
    if (!runtime.empty() && !WhyNotPrivate(runtime) && !OpenToEverybodyOnTheWay(runtime) &&
        !IsNoExec(runtime))
        return WithDelimiter(runtime);

    // 2. A directory of our own below the temporary directory.
    std::string tmpRoot = EnvOr("TMPDIR", "/tmp");
    while (tmpRoot.size() > 1 && tmpRoot.back() == PathDelimiter)
        tmpRoot.pop_back();
    const std::string tmpDir = tmpRoot + "/quorvex-" + uid;
    if (!IsNoExec(tmpRoot)) {
        RefuseOpenToEverybody(tmpRoot);
        MakePrivateDirectory(tmpDir, false);
        return WithDelimiter(CheckedPrivateDirectory(tmpDir));
    }

    // 3. The user's cache directory, when temporary space may not run programs.
    const std::string cacheRoot = EnvOr("XDG_CACHE_HOME", EnvOr("HOME", "") + "/.cache");
    const std::string cacheDir = cacheRoot + "/quorvex";
    MakePrivateDirectory(cacheDir, true);
    CheckedPrivateDirectory(cacheDir);
    RefuseOpenToEverybody(cacheDir);
    if (IsNoExec(cacheDir)) {
        throw TSystemError("No directory that allows running programs was found (\"" + tmpRoot +
                           "\" and \"" + cacheDir + "\" are mounted noexec).");
    }
    return WithDelimiter(cacheDir);
}

namespace {

std::vector<std::string> ProcessNames(const std::string& procDir)
{
    std::vector<std::string> names;
    std::ifstream comm(procDir + "/comm");
    std::string name;
    if (std::getline(comm, name) && !name.empty())
        names.push_back(name);
    char buf[4096];
    const ssize_t n = readlink((procDir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        std::string exe(buf, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() &&
            exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        names.push_back(exe);
    }
    return names;
}

bool NameMatches(const std::string& name, const std::string& wantedUpper)
{
    return AsciiUpperCase(ExtractFileNamePart(name)) == wantedUpper ||
           AsciiUpperCase(name) == wantedUpper;
}

}  // namespace

int KillTask(const std::string& exeFileName)
{
    int result = 0;
    DIR* proc = opendir("/proc");
    if (!proc)
        return result;
    const std::string wanted = AsciiUpperCase(exeFileName);
    std::set<pid_t> matches;
    while (dirent* entry = readdir(proc)) {
        const char* d = entry->d_name;
        if (!*d || std::strspn(d, "0123456789") != std::strlen(d))
            continue;
        for (const std::string& name : ProcessNames(std::string("/proc/") + d)) {
            if (NameMatches(name, wanted)) {
                matches.insert(static_cast<pid_t>(std::strtol(d, nullptr, 10)));
                break;
            }
        }
    }
    closedir(proc);
    for (pid_t pid : matches)
        result = kill(pid, SIGKILL) == 0 ? 1 : 0;
    return result;
}
