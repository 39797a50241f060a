#include "app/ToolExtractionUnit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QResource>

#include "base/ToolFileName.h"
#include "common/WinSystemFunctionsUnit.h"

namespace {

std::string CannotCreate(const std::string& path, int error)
{
    return "Cannot create file \"" + path + "\". " + std::strerror(error);
}

std::string CannotWrite(const std::string& path, int error)
{
    return "Stream write error: cannot write file \"" + path + "\". " + std::strerror(error);
}

// Writes SIZE bytes at DATA to FD; returns 0 when all of them are on their
// way to the disk, else the errno that stopped the write.
int WriteWhole(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = write(fd, data + done, size - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;  // a regular file never takes nothing without a reason
        done += std::size_t(written);
    }
    return 0;
}

}  // namespace

std::string ExtractTool(const char* data, std::size_t size, const std::string& directory)
{
    const std::string path = directory + ToolFileName;
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return CannotCreate(path, errno);
    if (fchmod(fd, 0755) != 0) {
        const int error = errno;
        close(fd);
        unlink(temp.c_str());
        return CannotCreate(path, error);
    }
    // One write straight from the resource data. A regular file takes it
    // whole unless the disk is full or a limit is reached; the rest is then
    // written again only to learn the system's reason for stopping.
    const int writeError = WriteWhole(fd, data, size);
    const int closeError = close(fd) == 0 ? 0 : errno;
    if (writeError != 0 || closeError != 0) {
        unlink(temp.c_str());
        return CannotWrite(path, writeError != 0 ? writeError : closeError);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        return CannotCreate(path, error);
    }
    return {};
}

std::string ExtractEmbeddedTool()
{
    const QResource tool(QStringLiteral(":/tool/ffmod"));
    if (!tool.isValid())
        return {};
    std::string directory;
    try {
        directory = GetTempDirectory();
    } catch (const TSystemError& error) {
        return error.what();
    }
    if (tool.compressionAlgorithm() == QResource::NoCompression) {
        return ExtractTool(reinterpret_cast<const char*>(tool.data()), std::size_t(tool.size()),
                           directory);
    }
    // Only a build that compressed the tool by mistake gets here.
    const QByteArray bytes = tool.uncompressedData();
    return ExtractTool(bytes.constData(), std::size_t(bytes.size()), directory);
}
