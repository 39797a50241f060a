#include "app/ToolExtractionUnit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QResource>

#include "common/WinSystemFunctionsUnit.h"

namespace {

std::string CannotCreate(const std::string& path, int error)
{
    return "Cannot create file \"" + path + "\". " + std::strerror(error);
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
    // whole unless the disk is full; anything short is a failed write.
    const ssize_t written = size > 0 ? write(fd, data, size) : 0;
    const bool complete = written >= 0 && std::size_t(written) == size;
    const bool closed = close(fd) == 0;
    if (!complete || !closed) {
        unlink(temp.c_str());
        return "Stream write error";
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
