#include "base/FilePaths.h"

std::string ExtractFileNamePart(const std::string& path)
{
    const size_t p = path.rfind(PathDelimiter);
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string JoinFolderAndName(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == PathDelimiter)
        return folder + name;
    return folder + PathDelimiter + name;
}
