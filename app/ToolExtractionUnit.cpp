#include "app/ToolExtractionUnit.h"

#include <cstring>

#include <QResource>

#include "base/PartFile.h"
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

}  // namespace

std::string ExtractTool(const char* data, std::size_t size, const std::string& directory)
{
    const std::string path = directory + ToolFileName;
    // The tool is written beside its final name and renamed over it in one step.
    TPartFile part(directory, std::string(ToolFileName) + ".XXXXXX");
    if (!part.Create() || !part.SetMode(0755))
        return CannotCreate(path, part.ErrorNumber());
    // One write straight from the resource data. A regular file takes it
    // whole unless the disk is full or a limit is reached; the rest is then
    // written again only to learn the system's reason for stopping.
    if (!part.Write(data, size) || !part.Finish())
        return CannotWrite(path, part.ErrorNumber());
    if (!part.ReplaceName(path))
        return CannotCreate(path, part.ErrorNumber());
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
