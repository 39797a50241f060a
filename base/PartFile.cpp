#include "base/PartFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The part of a hidden name that is drawn.
constexpr std::string_view Drawn = "XXXXXX";

// The mode a plain new file gets: 0666 less the process's umask.
mode_t NewFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

TPartFile::TPartFile(std::string folder, std::string name)
    : m_folder(std::move(folder)), m_name(std::move(name))
{}

TPartFile::~TPartFile()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_path.empty() && !m_done)
        unlink(m_path.c_str());
}

void TPartFile::SetError(const std::string& what, int error)
{
    m_error = what + ": " + std::strerror(error);
    m_errorNumber = error;
}

bool TPartFile::Create()
{
    const std::string name = JoinFolderAndName(m_folder, m_name);
    const size_t drawn = m_name.rfind(Drawn);
    const int suffixLength =
        drawn == std::string::npos ? 0 : static_cast<int>(m_name.size() - drawn - Drawn.size());
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkostemps(buffer.data(), suffixLength, O_CLOEXEC);
    if (fd < 0) {
        SetError("cannot create a file in " + m_folder, errno);
        return false;
    }
    m_fd = fd;
    m_path = buffer.data();
    fchmod(m_fd, NewFileMode());
    return true;
}

bool TPartFile::SetMode(mode_t mode)
{
    if (fchmod(m_fd, mode) != 0) {
        SetError("cannot set the permissions of " + m_path, errno);
        return false;
    }
    return true;
}

bool TPartFile::Write(const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(m_fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A regular file never takes nothing without a reason.
            SetError("cannot write " + m_path, n < 0 ? errno : EIO);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool TPartFile::Finish()
{
    const int fd = std::exchange(m_fd, -1);
    if (fd >= 0 && close(fd) != 0) {
        SetError("cannot write " + m_path, errno);
        return false;
    }
    return true;
}

bool TPartFile::ReadyToName()
{
    if (m_path.empty() || m_fd >= 0) {
        m_error = "the download is not finished";
        m_errorNumber = EINVAL;
        return false;
    }
    return true;
}

TPartFile::TTake TPartFile::Rename(const std::string& target)
{
    // A rename that refuses to replace; where the file system cannot do
    // that, a hard link, which refuses as well.
    if (renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return TTake::Taken;
    if (errno == EEXIST) {
        m_errorNumber = EEXIST;
        return TTake::NameInUse;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        SetError("cannot name the file " + target, errno);
        return TTake::Failed;
    }
    if (link(m_path.c_str(), target.c_str()) == 0) {
        unlink(m_path.c_str());
        return TTake::Taken;
    }
    if (errno == EEXIST) {
        m_errorNumber = EEXIST;
        return TTake::NameInUse;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) {
        SetError("cannot name the file " + target, errno);
        return TTake::Failed;
    }
    // Neither (a file system without links): the name is claimed by
    // creating it exclusively, and the finished file renamed over the claim.
    const int claim = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0) {
        if (errno == EEXIST) {
            m_errorNumber = EEXIST;
            return TTake::NameInUse;
        }
        SetError("cannot name the file " + target, errno);
        return TTake::Failed;
    }
    close(claim);
    if (std::rename(m_path.c_str(), target.c_str()) != 0) {
        SetError("cannot name the file " + target, errno);
        unlink(target.c_str());
        return TTake::Failed;
    }
    return TTake::Taken;
}

TPartFile::TTake TPartFile::TakeName(const std::string& path)
{
    if (!ReadyToName())
        return TTake::Failed;
    const TTake take = Rename(path);
    if (take == TTake::Taken)
        m_done = true;
    return take;
}

bool TPartFile::TakeFreeName(const std::function<std::string()>& drawName, int maxDraws,
                             std::string& taken)
{
    if (!ReadyToName())
        return false;
    for (int draw = 0; draw < maxDraws; ++draw) {
        const std::string name = drawName();
        switch (Rename(JoinFolderAndName(m_folder, name))) {
            case TTake::Taken:
                m_done = true;
                taken = name;
                return true;
            case TTake::NameInUse:
                continue;
            case TTake::Failed:
                return false;
        }
    }
    m_error = "no free name found in " + m_folder + " after " + std::to_string(maxDraws) + " tries";
    return false;
}

bool TPartFile::ReplaceName(const std::string& path)
{
    if (!ReadyToName())
        return false;
    // rename() replaces an existing file of that name in one step.
    if (std::rename(m_path.c_str(), path.c_str()) != 0) {
        SetError("cannot name the file " + path, errno);
        return false;
    }
    m_done = true;
    return true;
}
